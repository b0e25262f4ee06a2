// The runs of the built binary that both systems share, written once over
// the system's own child process.
#include "tests/support/interactive_run.h"

#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tests/support/platform_support.h"
#include "tests/support/temp_dir.h"

namespace dupsieve::testing {
namespace {

void failKilled() {
  ADD_FAILURE() << "the binary was killed after running for " << kRunTimeLimit.count() << " s";
}

}  // namespace

RunResult runDupsieve(const std::vector<std::string>& arguments, const std::string& input,
                      const std::string& workingDirectory) {
  // Input and output go through files, so a large output cannot deadlock.
  const TempDir scratch;
  const std::string inputPath = scratch.write("stdin", input);
  RunResult result;
  {
    ChildProcess child(arguments, workingDirectory,
                       ChildStreams{inputPath, scratch / "stdout", scratch / "stderr"});
    const std::optional<int> status = child.wait(Clock::now() + kRunTimeLimit);
    result.finished = status.has_value();
    result.exitStatus = status.value_or(-1);
  }
  if (!result.finished) failKilled();
  result.rawOutput = scratch.read("stdout");
  result.output = textFromOutput(result.rawOutput);
  result.errors = scratch.read("stderr");
  return result;
}

InteractiveResult runDupsieveInteractively(const std::vector<std::string>& arguments,
                                           const std::string& workingDirectory,
                                           const std::string& awaitedText,
                                           const std::function<void()>& whileWaiting,
                                           const std::string& answers) {
  ChildProcess child(arguments, workingDirectory, ChildStreams{});
  InteractiveResult result;
  std::string raw;
  const ReadOutcome first =
      child.readOutputUntil(raw, awaitedText, Clock::now() + kRunTimeLimit);
  bool stalled = first == ReadOutcome::TimedOut;
  result.sawText = first == ReadOutcome::Found;
  if (result.sawText) {
    whileWaiting();
    child.writeInput(answers);
  }
  child.closeInput();
  if (!stalled) {
    stalled = child.readOutputUntil(raw, "", Clock::now() + kRunTimeLimit) ==
              ReadOutcome::TimedOut;
  }
  const std::optional<int> status =
      child.wait(stalled ? Clock::now() : Clock::now() + kRunTimeLimit);
  result.finished = !stalled && status.has_value();
  result.exitStatus = status.value_or(-1);
  if (!result.finished) failKilled();
  result.output = textFromOutput(raw);
  return result;
}

}  // namespace dupsieve::testing
