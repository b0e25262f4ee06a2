#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dupsieve::testing {

using Clock = std::chrono::steady_clock;

enum class ReadOutcome { Found, Ended, TimedOut };

// Where a child's standard streams go: a file each, or, where the name is
// empty, a pipe to this process for input and output, and nothing captured
// for standard error.
struct ChildStreams {
  std::string inputFile;
  std::string outputFile;
  std::string errorFile;
};

// The built dupsieve binary, started in `workingDirectory` with `arguments`
// as a child of the test process, on either system. A child still running
// when this goes is killed.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& arguments, const std::string& workingDirectory,
               const ChildStreams& streams);
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  // Appends what the output pipe yields to `output` until `wanted` occurs in
  // it (when not empty), the child closes its end, or `deadline` passes.
  ReadOutcome readOutputUntil(std::string& output, const std::string& wanted,
                              Clock::time_point deadline);
  // Writes `text` to the input pipe, as far as the child reads it.
  void writeInput(const std::string& text);
  // Closes the input pipe: the child's input ends.
  void closeInput();
  // Waits for the child to end until `deadline`, and kills it then. Its exit
  // status (-1 when a signal ended it), or nullopt when it had to be killed.
  std::optional<int> wait(Clock::time_point deadline);

 private:
  struct State;  // each system's own
  std::unique_ptr<State> state_;
};

}  // namespace dupsieve::testing
