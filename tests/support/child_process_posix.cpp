#include "tests/support/child_process_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace dupsieve::testing {
namespace {

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& text : strings) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// A write to a pipe whose reader has gone must fail with EPIPE, not end the
// test process.
class IgnoreBrokenPipe {
 public:
  IgnoreBrokenPipe() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous_);
  }
  IgnoreBrokenPipe(const IgnoreBrokenPipe&) = delete;
  IgnoreBrokenPipe& operator=(const IgnoreBrokenPipe&) = delete;
  ~IgnoreBrokenPipe() { ::sigaction(SIGPIPE, &previous_, nullptr); }

 private:
  struct sigaction previous_ {};
};

// Whether `child` has ended, leaving it to be reaped.
bool hasEnded(pid_t child, bool wait) {
  for (;;) {
    siginfo_t info{};
    const int options = WEXITED | WNOWAIT | (wait ? 0 : WNOHANG);
    if (::waitid(P_PID, static_cast<id_t>(child), &info, options) == 0) {
      return info.si_pid == child;
    }
    if (errno != EINTR) return true;  // nothing left to wait for
  }
}

}  // namespace

Pipe::Pipe() {
  if (::pipe2(fds_, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
}

Pipe::~Pipe() {
  closeRead();
  closeWrite();
}

void Pipe::closeRead() { closeFd(fds_[0]); }
void Pipe::closeWrite() { closeFd(fds_[1]); }

RawTerminal::RawTerminal() {
  control_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[256];
  if (control_ < 0 || ::grantpt(control_) != 0 || ::unlockpt(control_) != 0 ||
      ::ptsname_r(control_, name, sizeof name) != 0) {
    closeFd(control_);
    throw std::runtime_error("cannot set up a terminal");
  }
  screen_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  struct termios mode {};
  if (screen_ < 0 || ::tcgetattr(screen_, &mode) != 0) {
    closeFd(screen_);
    closeFd(control_);
    throw std::runtime_error("cannot open the terminal");
  }
  ::cfmakeraw(&mode);
  ::tcsetattr(screen_, TCSANOW, &mode);
}

RawTerminal::~RawTerminal() {
  closeFd(screen_);
  closeFd(control_);
}

void RawTerminal::closeScreen() { closeFd(screen_); }

ReadOutcome readUntil(int fd, std::string& output, const std::string& wanted,
                      Clock::time_point deadline) {
  char buffer[4096];
  for (;;) {
    if (!wanted.empty() && output.find(wanted) != std::string::npos) return ReadOutcome::Found;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return ReadOutcome::TimedOut;
    pollfd waiting{fd, POLLIN, 0};
    const int ready = ::poll(&waiting, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return ReadOutcome::TimedOut;
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return ReadOutcome::Ended;
    output.append(buffer, static_cast<std::size_t>(got));
  }
}

void writeAll(int fd, const std::string& text) {
  const IgnoreBrokenPipe ignoreBrokenPipe;
  std::size_t at = 0;
  while (at < text.size()) {
    const ssize_t put = ::write(fd, text.data() + at, text.size() - at);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return;  // the reader is gone; what it did not read it cannot answer
    at += static_cast<std::size_t>(put);
  }
}

pid_t startBinary(const std::vector<std::string>& arguments, const std::string& workingDirectory,
                  const StartSettings& settings) {
  // Everything the child needs is made before the fork: after it, the child
  // only makes system calls.
  std::vector<std::string> argvStrings{DUPSIEVE_BINARY};
  argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv = pointersTo(argvStrings);
  std::vector<std::string> environment =
      settings.environment != nullptr ? *settings.environment : std::vector<std::string>{};
  std::vector<char*> envp = pointersTo(environment);
  char** const childEnvironment = settings.environment != nullptr ? envp.data() : environ;

  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    ::signal(SIGPIPE, SIG_DFL);
    if ((settings.input >= 0 && ::dup2(settings.input, 0) < 0) ||
        (settings.output >= 0 && ::dup2(settings.output, 1) < 0) ||
        (settings.error >= 0 && ::dup2(settings.error, 2) < 0) ||
        ::chdir(workingDirectory.c_str()) != 0 || (settings.inChild && !settings.inChild())) {
      ::_exit(127);
    }
    ::execve(argv[0], argv.data(), childEnvironment);
    ::_exit(127);
  }
  return child;
}

ChildEnd waitForChild(pid_t child, Clock::time_point deadline,
                      const std::function<void()>& beforeReaping) {
  ChildEnd end;
  for (;;) {
    if (hasEnded(child, false)) {
      end.finished = true;
      break;
    }
    if (Clock::now() >= deadline) {
      ::kill(child, SIGKILL);
      hasEnded(child, true);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (beforeReaping) beforeReaping();
  while (::waitpid(child, &end.status, 0) < 0 && errno == EINTR) {
  }
  return end;
}

}  // namespace dupsieve::testing
