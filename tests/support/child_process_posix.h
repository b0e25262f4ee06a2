#pragma once

// How the binary is run on POSIX systems: pipes, a raw pseudo-terminal,
// reading and writing with a deadline, and starting and waiting for a child
// with a time limit.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace dupsieve::testing {

using Clock = std::chrono::steady_clock;

enum class ReadOutcome { Found, Ended, TimedOut };

// A pipe whose ends close when it goes, or when closed one by one.
class Pipe {
 public:
  Pipe();
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  ~Pipe();
  int read() const { return fds_[0]; }
  int write() const { return fds_[1]; }
  void closeRead();
  void closeWrite();

 private:
  int fds_[2] = {-1, -1};
};

// A new pseudo-terminal whose screen side is raw (no line-ending
// translation), so that what a child writes there arrives byte for byte on
// the control side. Reading the control side fails once no one has the
// screen open any more: keep the screen open until the child has it.
class RawTerminal {
 public:
  RawTerminal();
  RawTerminal(const RawTerminal&) = delete;
  RawTerminal& operator=(const RawTerminal&) = delete;
  ~RawTerminal();
  int control() const { return control_; }
  int screen() const { return screen_; }
  void closeScreen();

 private:
  int control_ = -1;
  int screen_ = -1;
};

// Appends what `fd` yields to `output` until `wanted` occurs in it (when not
// empty), the writer closes its end, or `deadline` passes.
ReadOutcome readUntil(int fd, std::string& output, const std::string& wanted,
                      Clock::time_point deadline);

// Writes all of `text` to `fd`, as far as a reader takes it; a reader that
// has gone ends the writing, without a signal.
void writeAll(int fd, const std::string& text);

// How a child is started: descriptors that become its standard input,
// output and error (-1 keeps the test's own), its whole environment (null
// keeps the test's), and what it does to itself before it becomes the
// binary (system calls only; false gives up with status 127).
struct StartSettings {
  int input = -1;
  int output = -1;
  int error = -1;
  const std::vector<std::string>* environment = nullptr;
  std::function<bool()> inChild;
};

// Starts the built binary in `workingDirectory` with `arguments`; its
// process id. The child reacts to a broken pipe as from a shell.
pid_t startBinary(const std::vector<std::string>& arguments, const std::string& workingDirectory,
                  const StartSettings& settings);

// How a child ended: `finished` false when it was still running at the
// deadline and was killed; `status` as waitpid tells it.
struct ChildEnd {
  bool finished = false;
  int status = 0;
};

// Waits for `child` until `deadline`, kills it then, and reaps it.
// `beforeReaping` runs once it has ended and before it is reaped, while the
// system still shows it.
ChildEnd waitForChild(pid_t child, Clock::time_point deadline,
                      const std::function<void()>& beforeReaping = {});

}  // namespace dupsieve::testing
