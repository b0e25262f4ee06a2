#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "driver/command_line.h"
#include "driver/run.h"
#include "platform/broken_pipe.h"
#include "platform/console_text.h"
#include "platform/program_arguments.h"
#include "platform/real_file_system.h"
#include "platform/terminal.h"
#include "resolution/notes.h"

int main(int argc, char** argv) {
  // Every line is flushed anyway; unsynchronised streams just write less
  // often in between. Standard input stays tied to standard output, so a
  // prompt is on screen before the answer is read.
  std::ios::sync_with_stdio(false);
  // A closed standard output must not end the run: the prompts still read
  // their answers and act on them.
  dupsieve::ignoreBrokenPipe();

  const dupsieve::ConsoleText consoleText;

  const std::vector<std::string> given = dupsieve::programArguments(argc, argv);
  const std::vector<std::string_view> arguments(given.begin(), given.end());
  const dupsieve::Settings settings = dupsieve::readCommandLine(arguments);
  dupsieve::RealFileSystem fileSystem;
  dupsieve::Notes notes(std::cerr, dupsieve::isTerminal(dupsieve::StandardStream::Error),
                        dupsieve::isTerminal(dupsieve::StandardStream::Input));
  dupsieve::runSearch(settings, fileSystem, std::cin, std::cout,
                      dupsieve::isTerminal(dupsieve::StandardStream::Output), notes);
  return 0;
}
