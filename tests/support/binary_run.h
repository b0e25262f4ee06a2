#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace dupsieve::testing {

// How long one run of the built binary may take before it is killed and its
// test fails: far more than any run here needs, even for the deepest tree
// under the lowest open-file limit, under a sanitizer or an emulator on a
// loaded machine, and far less than a hung suite.
inline constexpr std::chrono::seconds kRunTimeLimit{60};

enum class ErrorTo {
  File,
  Terminal,
  // The terminal that standard input is on too, as for a person answering.
  TerminalOfInput,
};

// Which io_uring call a sandbox refuses with EPERM: setting a ring up, as
// container profiles do, or only entering it once it is set up.
enum class RingRefusal { None, Setup, Enter };

// A restricted place to run in (Linux).
struct Constraints {
  std::optional<unsigned long> openFileLimit{};  // soft and hard limit on open files
  // Calls refused with EPERM, as a sandbox refuses them, by a library
  // loaded before the C library: "statx", "unlinkat" or both, comma-separated.
  std::string refusedCalls{};
  bool outputClosed = false;  // standard output a pipe that nobody reads any more
  RingRefusal ringRefused = RingRefusal::None;
  std::optional<unsigned long> addressSpaceLimit{};  // bytes of memory it may map in all
  // Bytes of stack: new threads get this much, so a limit beyond what can
  // be mapped leaves the process unable to start any.
  std::optional<unsigned long> stackLimit{};
  bool unprivileged = false;  // run as nobody, whose permission counts (asked by root only)
};

// One run of the built binary. Standard input is `input`, then its end;
// standard output and standard error go into files, unless said otherwise.
// Windows runs only with files and an awaited text; asking it for more fails
// the test.
struct Run {
  std::vector<std::string> arguments{};
  std::string input{};
  std::string workingDirectory{};
  // When not empty, standard input and output are pipes: once the output
  // holds this text (the binary then waits for its answer), `whileWaiting`
  // runs, and only then is `input` written.
  std::string awaitedText{};
  std::function<void()> whileWaiting{};
  // On a terminal, standard error gets what the tool says to a person only;
  // with TerminalOfInput, `input` is typed into that terminal at once, and
  // the run must need no more.
  ErrorTo error = ErrorTo::File;
  // With standard error on a terminal: once it holds this text, the binary
  // is sent an interrupt, as Ctrl-C at its terminal sends one.
  std::string interruptAfter{};
  // Standard output on a terminal in raw mode, so that bytes arrive as
  // written (standard error, when on a terminal too, shares it).
  bool outputOnTerminal = false;
  std::vector<std::string> environment{};  // added to the binary's: "NAME=value"
  Constraints constraints{};
};

// What a run printed and how it ended.
struct RunResult {
  // Standard output as text: the line ends of the platform's text streams
  // (CRLF on Windows) read as "\n".
  std::string output;
  std::string rawOutput;  // the bytes as written
  std::string errors;     // standard error, bytes as written
  bool finished = false;  // ended by itself within the time limit
  int exitStatus = -1;    // when it exited
  int signal = 0;         // when a signal ended it
  bool sawText = false;   // the awaited text appeared before the output ended
  // Every byte the process read, from files, terminal and libraries alike,
  // as Linux counts it; 0 where the system does not tell.
  std::uint64_t bytesRead = 0;
};

// Runs the binary as `run` describes, never in the test process's own
// directory. A run killed for taking too long fails the calling test.
RunResult runDupsieve(const Run& run);

#ifdef __linux__
// Makes this thread, and what it executes, get EPERM from the io_uring call
// `refused` names (through a seccomp filter, which cannot be lifted). For a
// child process only. False when the filter could not be set.
bool refuseIoUring(RingRefusal refused);

// Whether this kernel lets this process set up an io_uring.
bool ioUringSetUpWorks();
#endif

}  // namespace dupsieve::testing
