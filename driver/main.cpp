#include <cstdlib>
#include <iostream>
#include <memory>
#include <new>
#include <streambuf>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "driver/command_line.h"
#include "driver/run.h"
#include "platform/console.h"
#include "platform/interrupt.h"
#include "platform/process.h"
#include "platform/real_file_system.h"
#include "resolution/notes.h"

int main(int argc, char** argv) {
  // Unsynchronised streams write less often.
  std::ios::sync_with_stdio(false);
  // A closed standard output must not end the run: the prompts still read
  // their answers and act on them.
  dupsieve::ignoreBrokenPipe();
  // The sort buffers of a large run are freed between the stages; given
  // back, they do not add up in the peak.
  dupsieve::returnLargeBlocksWhenFreed();

  const dupsieve::ConsoleText consoleText;

  const std::vector<std::string> given = dupsieve::programArguments(argc, argv);
  const std::vector<std::string_view> arguments(given.begin(), given.end());
  const dupsieve::Settings settings = dupsieve::readCommandLine(arguments);
  const bool inputIsTerminal = dupsieve::isTerminal(dupsieve::StandardStream::Input);
  const bool outputIsTerminal = dupsieve::isTerminal(dupsieve::StandardStream::Output);
  dupsieve::Notes notes(std::cerr, dupsieve::isTerminal(dupsieve::StandardStream::Error),
                        inputIsTerminal);
  // Ctrl-C at a terminal erases the status line and tells a person what was
  // done so far before the run ends as interrupted.
  if (notes.errorIsTerminal()) {
    notes.publishInterruptNote([](std::string_view note) { dupsieve::setInterruptNote(note); });
    dupsieve::writeNoteOnInterrupt();
  }

  std::streambuf* const standardInput = std::cin.rdbuf();
  int status = EXIT_SUCCESS;
  try {
    // Someone at a terminal sees each line as it ends and each prompt before
    // its answer is read, even when typing ahead: standard input stays tied
    // to standard output. Otherwise the same bytes go out in large writes,
    // flushed when an answer has to be waited for.
    std::unique_ptr<std::streambuf> lazyInput;
    if (!outputIsTerminal && !inputIsTerminal) {
      lazyInput = dupsieve::lazyFlushStandardInput(std::cout);
    }
    if (lazyInput) {
      std::cin.rdbuf(lazyInput.get());
      std::cin.tie(nullptr);
    }
    // Made here, as everything that takes memory: the real file system may
    // start a thread and map memory.
    dupsieve::RealFileSystem fileSystem;
    dupsieve::runSearch(settings, fileSystem, std::cin, std::cout, outputIsTerminal, notes,
                        /*flushEachLine=*/lazyInput == nullptr);
    std::cout.flush();
    std::cin.rdbuf(standardInput);
  } catch (const std::bad_alloc&) {
    status = EXIT_FAILURE;
  } catch (const std::system_error&) {
    // A thread that cannot start lacks memory too.
    status = EXIT_FAILURE;
  }
  if (status != EXIT_SUCCESS) {
    // The run's containers are gone by now, so there is room for one line;
    // a run that could not finish must not look finished.
    std::cin.rdbuf(standardInput);
    std::cout.flush();
    notes.clearStatus();
    notes.failure(dupsieve::outOfMemoryLine(notes.account()));
  }
  return status;
}
