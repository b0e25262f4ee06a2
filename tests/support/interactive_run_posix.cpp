#include "tests/support/interactive_run.h"

#include <gtest/gtest.h>

#include "tests/support/child_process_posix.h"
#include "tests/support/platform_support.h"

namespace dupsieve::testing {

InteractiveResult runDupsieveOnTerminal(const std::vector<std::string>& arguments,
                                        const std::string& input,
                                        const std::string& workingDirectory) {
  RawTerminal terminal;
  Pipe answers;
  StartSettings settings;
  settings.input = answers.read();
  settings.output = terminal.screen();
  const pid_t child = startBinary(arguments, workingDirectory, settings);
  terminal.closeScreen();
  answers.closeRead();
  writeAll(answers.write(), input);
  answers.closeWrite();

  // Once the binary has ended and its side of the terminal is closed, reading
  // fails: that is the end of its output.
  InteractiveResult result;
  const auto deadline = Clock::now() + kRunTimeLimit;
  const bool stalled =
      readUntil(terminal.control(), result.output, "", deadline) == ReadOutcome::TimedOut;
  const ChildEnd end = waitForChild(child, stalled ? Clock::now() : deadline);
  result.finished = !stalled && end.finished;
  result.exitStatus = exitStatusOf(end.status);
  if (!result.finished) {
    ADD_FAILURE() << "the binary was killed after running for " << kRunTimeLimit.count() << " s";
  }
  return result;
}

}  // namespace dupsieve::testing
