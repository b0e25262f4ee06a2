#pragma once

#include <functional>
#include <string>
#include <vector>

namespace dupsieve::testing {

// What an interactive run of the built binary printed and how it ended.
struct InteractiveResult {
  std::string output;     // everything written to standard output, as text (see RunResult)
  bool sawText = false;   // the awaited text appeared before the output ended
  bool finished = false;  // the process ended by itself (not killed after waiting too long)
  int exitStatus = -1;
};

// Runs the built dupsieve binary in `workingDirectory` with `arguments`,
// standard input and output on pipes. Waits until standard output holds
// `awaitedText` (the binary is then blocked reading its answer), calls
// `whileWaiting`, writes `answers` and closes standard input, and collects
// the rest of the output. A run that stalls is killed after a generous
// limit rather than hanging the test, which then fails; `finished` stays
// false.
InteractiveResult runDupsieveInteractively(const std::vector<std::string>& arguments,
                                           const std::string& workingDirectory,
                                           const std::string& awaitedText,
                                           const std::function<void()>& whileWaiting,
                                           const std::string& answers);

#ifndef _WIN32
// Runs the built dupsieve binary in `workingDirectory` with `arguments`,
// `input` on standard input (then end of input), and standard output on a
// terminal in raw mode, so that what the binary writes arrives byte for byte.
// A run that stalls is killed, as above; `sawText` is not used. (A Windows
// console cannot be attached to from outside in the same way.)
InteractiveResult runDupsieveOnTerminal(const std::vector<std::string>& arguments,
                                        const std::string& input,
                                        const std::string& workingDirectory);
#endif

}  // namespace dupsieve::testing
