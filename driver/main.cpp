#include <iostream>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "driver/command_line.h"
#include "driver/run.h"
#include "platform/process.h"
#include "platform/console.h"
#include "platform/real_file_system.h"
#include "resolution/notes.h"

int main(int argc, char** argv) {
  // Unsynchronised streams write less often.
  std::ios::sync_with_stdio(false);
  // A closed standard output must not end the run: the prompts still read
  // their answers and act on them.
  dupsieve::ignoreBrokenPipe();

  const dupsieve::ConsoleText consoleText;

  const std::vector<std::string> given = dupsieve::programArguments(argc, argv);
  const std::vector<std::string_view> arguments(given.begin(), given.end());
  const dupsieve::Settings settings = dupsieve::readCommandLine(arguments);
  dupsieve::RealFileSystem fileSystem;
  const bool inputIsTerminal = dupsieve::isTerminal(dupsieve::StandardStream::Input);
  const bool outputIsTerminal = dupsieve::isTerminal(dupsieve::StandardStream::Output);
  dupsieve::Notes notes(std::cerr, dupsieve::isTerminal(dupsieve::StandardStream::Error),
                        inputIsTerminal);

  // Someone at a terminal sees each line as it ends and each prompt before
  // its answer is read, even when typing ahead: standard input stays tied to
  // standard output. Otherwise the same bytes go out in large writes,
  // flushed when an answer has to be waited for.
  std::unique_ptr<std::streambuf> lazyInput;
  if (!outputIsTerminal && !inputIsTerminal) {
    lazyInput = dupsieve::lazyFlushStandardInput(std::cout);
  }
  std::streambuf* const standardInput = std::cin.rdbuf();
  if (lazyInput) {
    std::cin.rdbuf(lazyInput.get());
    std::cin.tie(nullptr);
  }
  dupsieve::runSearch(settings, fileSystem, std::cin, std::cout, outputIsTerminal, notes,
                      /*flushEachLine=*/lazyInput == nullptr);
  std::cout.flush();
  std::cin.rdbuf(standardInput);
  return 0;
}
