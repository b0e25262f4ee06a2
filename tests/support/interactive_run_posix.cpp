#include "tests/support/interactive_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <optional>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "tests/support/platform_support.h"
#include "tests/support/temp_dir.h"

namespace dupsieve::testing {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::seconds kPatience = kRunTimeLimit;

class Pipe {
 public:
  Pipe() {
    if (::pipe2(fds_, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  ~Pipe() {
    closeRead();
    closeWrite();
  }
  int read() const { return fds_[0]; }
  int write() const { return fds_[1]; }
  void closeRead() { closeEnd(0); }
  void closeWrite() { closeEnd(1); }

 private:
  void closeEnd(int which) {
    if (fds_[which] >= 0) ::close(fds_[which]);
    fds_[which] = -1;
  }
  int fds_[2] = {-1, -1};
};

// A write to a pipe whose reader has gone must fail with EPIPE, not kill the
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

enum class ReadOutcome { Found, Ended, TimedOut };

// Appends what `fd` yields to `output` until `wanted` occurs in it (when not
// empty), the writer closes its end, or the deadline passes.
ReadOutcome readUntil(int fd, std::string& output, const std::string& wanted,
                      Clock::time_point deadline) {
  char buffer[4096];
  for (;;) {
    if (!wanted.empty() && output.find(wanted) != std::string::npos) return ReadOutcome::Found;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return ReadOutcome::TimedOut;
    pollfd waiting{};
    waiting.fd = fd;
    waiting.events = POLLIN;
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
  std::size_t at = 0;
  while (at < text.size()) {
    const ssize_t put = ::write(fd, text.data() + at, text.size() - at);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return;  // the reader is gone; what it did not read it cannot answer
    at += static_cast<std::size_t>(put);
  }
}

std::vector<std::string> commandLine(const std::vector<std::string>& arguments) {
  std::vector<std::string> strings{DUPSIEVE_BINARY};
  strings.insert(strings.end(), arguments.begin(), arguments.end());
  return strings;
}

std::vector<char*> argvOf(std::vector<std::string>& strings) {
  std::vector<char*> argv;
  for (std::string& argument : strings) argv.push_back(argument.data());
  argv.push_back(nullptr);
  return argv;
}

// Starts the binary with the given descriptors as its standard input and
// output; returns its process id.
pid_t start(std::vector<char*>& argv, int inputFd, int outputFd,
            const std::string& workingDirectory) {
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    // The binary gets the default reaction to a broken pipe, as from a shell.
    ::signal(SIGPIPE, SIG_DFL);
    if (::dup2(inputFd, 0) < 0 || ::dup2(outputFd, 1) < 0 ||
        ::chdir(workingDirectory.c_str()) != 0) {
      ::_exit(127);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return child;
}

// Waits for the child, killing it first when it stalled.
void finish(pid_t child, bool stalled, InteractiveResult& result) {
  if (stalled) ::kill(child, SIGKILL);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  result.finished = !stalled && WIFEXITED(status);
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (stalled) ADD_FAILURE() << "the binary was killed after running for " << kPatience.count() << " s";
}

// Waits for the child until the time limit, then kills it. The exit status,
// or nullopt when it had to be killed.
std::optional<int> waitAtMost(pid_t child, std::chrono::seconds limit) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    int status = 0;
    const pid_t ended = ::waitpid(child, &status, WNOHANG);
    if (ended == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (ended < 0 && errno != EINTR) return -1;
    if (Clock::now() >= deadline) {
      ::kill(child, SIGKILL);
      while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
      return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

std::string contentsOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

RunResult runDupsieve(const std::vector<std::string>& arguments, const std::string& input,
                      const std::string& workingDirectory) {
  // Input and output go through files, so a large output cannot deadlock.
  const TempDir scratch;
  const std::string inputPath = scratch.write("stdin", input);
  const std::string outputPath = scratch / "stdout";
  const std::string errorPath = scratch / "stderr";

  std::vector<std::string> strings = commandLine(arguments);
  std::vector<char*> argv = argvOf(strings);
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int in = ::open(inputPath.c_str(), O_RDONLY);
    const int out = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
        ::dup2(err, 2) < 0 || ::chdir(workingDirectory.c_str()) != 0) {
      ::_exit(127);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  const std::optional<int> status = waitAtMost(child, kRunTimeLimit);

  RunResult result;
  result.finished = status.has_value();
  result.exitStatus = status.value_or(-1);
  if (!result.finished) {
    ADD_FAILURE() << "the binary was killed after running for " << kRunTimeLimit.count() << " s";
  }
  result.rawOutput = contentsOf(outputPath);
  result.output = textFromOutput(result.rawOutput);
  result.errors = contentsOf(errorPath);
  return result;
}

InteractiveResult runDupsieveInteractively(const std::vector<std::string>& arguments,
                                           const std::string& workingDirectory,
                                           const std::string& awaitedText,
                                           const std::function<void()>& whileWaiting,
                                           const std::string& answers) {
  const IgnoreBrokenPipe ignoreBrokenPipe;
  Pipe input;
  Pipe output;

  std::vector<std::string> strings = commandLine(arguments);
  std::vector<char*> argv = argvOf(strings);
  const pid_t child = start(argv, input.read(), output.write(), workingDirectory);
  input.closeRead();
  output.closeWrite();

  InteractiveResult result;
  const ReadOutcome first =
      readUntil(output.read(), result.output, awaitedText, Clock::now() + kPatience);
  bool stalled = first == ReadOutcome::TimedOut;
  result.sawText = first == ReadOutcome::Found;
  if (result.sawText) {
    whileWaiting();
    writeAll(input.write(), answers);
  }
  input.closeWrite();
  if (!stalled) {
    stalled = readUntil(output.read(), result.output, "", Clock::now() + kPatience) ==
              ReadOutcome::TimedOut;
  }
  finish(child, stalled, result);
  return result;
}

InteractiveResult runDupsieveOnTerminal(const std::vector<std::string>& arguments,
                                        const std::string& input,
                                        const std::string& workingDirectory) {
  const IgnoreBrokenPipe ignoreBrokenPipe;
  Pipe answers;

  const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (terminal < 0) throw std::runtime_error("posix_openpt failed");
  char name[256];
  if (::grantpt(terminal) != 0 || ::unlockpt(terminal) != 0 ||
      ::ptsname_r(terminal, name, sizeof name) != 0) {
    ::close(terminal);
    throw std::runtime_error("cannot set up a terminal");
  }
  const int screen = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  struct termios mode {};
  if (screen < 0 || ::tcgetattr(screen, &mode) != 0) {
    ::close(terminal);
    throw std::runtime_error("cannot open the terminal");
  }
  // Raw: no line-ending translation, so the bytes arrive as written.
  ::cfmakeraw(&mode);
  ::tcsetattr(screen, TCSANOW, &mode);

  std::vector<std::string> strings = commandLine(arguments);
  std::vector<char*> argv = argvOf(strings);
  const pid_t child = start(argv, answers.read(), screen, workingDirectory);
  ::close(screen);
  answers.closeRead();
  writeAll(answers.write(), input);
  answers.closeWrite();

  // Once the binary has ended and its side of the terminal is closed, reading
  // fails: that is the end of its output.
  InteractiveResult result;
  const bool stalled =
      readUntil(terminal, result.output, "", Clock::now() + kPatience) == ReadOutcome::TimedOut;
  ::close(terminal);
  finish(child, stalled, result);
  return result;
}

}  // namespace dupsieve::testing
