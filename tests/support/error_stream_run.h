#pragma once

#include <string>
#include <vector>

namespace dupsieve::testing {

enum class ErrorTo { Terminal, File };

// What a run of the built binary wrote on each of its output streams.
struct TwoStreamResult {
  std::string output;
  std::string error;
  bool finished = false;  // ended by itself, not killed after waiting too long
  int exitStatus = -1;
};

// Runs the built dupsieve binary in `workingDirectory` with `arguments` and
// `input` on standard input (then end of input), standard output into a
// file, and standard error on a terminal (raw, so bytes arrive as written)
// or into a file. A run that stalls with standard error on a terminal is
// killed after a generous limit; `finished` then stays false.
TwoStreamResult runDupsieveWithError(const std::vector<std::string>& arguments,
                                     const std::string& input,
                                     const std::string& workingDirectory, ErrorTo error);

}  // namespace dupsieve::testing
