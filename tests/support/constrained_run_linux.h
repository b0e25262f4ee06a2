#pragma once

#include <optional>
#include <string>
#include <vector>

namespace dupsieve::testing {

// A restricted place for the built binary to run in.
struct Constraints {
  std::optional<unsigned long> openFileLimit{};  // soft and hard limit on open files
  // Calls refused with EPERM, as a sandbox refuses them, by a library
  // loaded before the C library: "statx", "unlinkat" or both, comma-separated.
  std::string refusedCalls{};
  bool outputClosed = false;  // standard output a pipe that nobody reads any more
  bool ringRefused = false;   // io_uring_setup refused with EPERM, as container profiles do
};

// Makes this process, and what it executes, get EPERM from io_uring_setup
// (through a seccomp filter, which cannot be lifted). For a child process
// only. False when the filter could not be set.
bool refuseIoUringSetup();

// What a constrained run printed and how it ended.
struct ConstrainedResult {
  std::string output;       // standard output, unless it was closed
  std::string errors;       // standard error
  bool finished = false;    // ended by itself within the time limit
  int exitStatus = -1;      // when it exited
  int signal = 0;           // when a signal ended it
};

// Runs the built dupsieve binary in `workingDirectory` with `arguments` and
// `input` on standard input (then end of input), under `constraints`. A run
// that has not ended after a generous time limit is killed.
ConstrainedResult runDupsieveConstrained(const std::vector<std::string>& arguments,
                                         const std::string& input,
                                         const std::string& workingDirectory,
                                         const Constraints& constraints);

}  // namespace dupsieve::testing
