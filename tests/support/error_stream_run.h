#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dupsieve::testing {

enum class ErrorTo {
  Terminal,
  File,
  // The terminal that standard input is on too, as for a person answering.
  TerminalOfInput,
};

// What a run of the built binary wrote on each of its output streams.
struct TwoStreamResult {
  std::string output;
  std::string error;
  bool finished = false;  // ended by itself, not killed after waiting too long
  int exitStatus = -1;
  // Every byte the process read, from files, terminal and libraries alike,
  // as Linux counts it; 0 where the system does not tell.
  std::uint64_t bytesRead = 0;
};

// Runs the built dupsieve binary in `workingDirectory` with `arguments`,
// standard output into a file, and standard error on a terminal (raw, so
// bytes arrive as written) or into a file. `input` is standard input (then
// end of input), except with TerminalOfInput, where it is typed into the
// terminal at once and the run must need no more. A run that stalls is
// killed after a generous limit, as every run of the binary is; `finished`
// then stays false.
// `environment` adds variables ("NAME=value") to the binary's.
TwoStreamResult runDupsieveWithError(const std::vector<std::string>& arguments,
                                     const std::string& input,
                                     const std::string& workingDirectory, ErrorTo error,
                                     const std::vector<std::string>& environment = {});

}  // namespace dupsieve::testing
