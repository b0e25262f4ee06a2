#include "tests/support/error_stream_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "tests/support/temp_dir.h"

namespace dupsieve::testing {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kPatience{10};

// Both sides of a new terminal, the screen side set raw so that no line
// ending is translated. The screen side stays open until the child has it,
// or reading the control side could fail before the child wrote anything.
struct Terminal {
  int control = -1;
  int screen = -1;
};

Terminal openRawTerminal() {
  Terminal terminal;
  terminal.control = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[256];
  if (terminal.control < 0 || ::grantpt(terminal.control) != 0 ||
      ::unlockpt(terminal.control) != 0 || ::ptsname_r(terminal.control, name, sizeof name) != 0) {
    throw std::runtime_error("cannot set up a terminal");
  }
  terminal.screen = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  struct termios mode {};
  if (terminal.screen < 0 || ::tcgetattr(terminal.screen, &mode) != 0) {
    throw std::runtime_error("cannot open the terminal");
  }
  ::cfmakeraw(&mode);
  ::tcsetattr(terminal.screen, TCSANOW, &mode);
  return terminal;
}

// Reads the terminal until the child's side of it is closed (reading then
// fails) or the deadline passes; true when it was closed in time.
bool drain(int control, std::string& text, Clock::time_point deadline) {
  char buffer[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd waiting{control, POLLIN, 0};
    const int ready = ::poll(&waiting, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) return false;
    const ssize_t got = ::read(control, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return true;
    text.append(buffer, static_cast<std::size_t>(got));
  }
}

// Waits for the child until the deadline, then kills it.
bool waitUntil(pid_t child, Clock::time_point deadline, int& status) {
  while (Clock::now() < deadline) {
    if (::waitpid(child, &status, WNOHANG) == child) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, &status, 0);
  return false;
}

}  // namespace

TwoStreamResult runDupsieveWithError(const std::vector<std::string>& arguments,
                                     const std::string& input,
                                     const std::string& workingDirectory, ErrorTo error) {
  const TempDir scratch;
  const std::string inputPath = scratch.write("stdin", input);
  const std::string outputPath = scratch / "stdout";
  const std::string errorPath = scratch / "stderr";
  const Terminal terminal = error == ErrorTo::Terminal ? openRawTerminal() : Terminal{};

  std::vector<std::string> strings{DUPSIEVE_BINARY};
  strings.insert(strings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : strings) argv.push_back(argument.data());
  argv.push_back(nullptr);

  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int in = ::open(inputPath.c_str(), O_RDONLY);
    const int out = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = error == ErrorTo::Terminal
                        ? terminal.screen
                        : ::open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
        ::dup2(err, 2) < 0 || ::chdir(workingDirectory.c_str()) != 0) {
      ::_exit(127);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }

  TwoStreamResult result;
  const Clock::time_point deadline = Clock::now() + kPatience;
  bool ended = true;
  if (error == ErrorTo::Terminal) {
    ::close(terminal.screen);
    ended = drain(terminal.control, result.error, deadline);
    ::close(terminal.control);
  }
  int status = 0;
  result.finished = waitUntil(child, ended ? deadline : Clock::now(), status) && WIFEXITED(status);
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.output = scratch.read("stdout");
  if (error == ErrorTo::File) result.error = scratch.read("stderr");
  return result;
}

}  // namespace dupsieve::testing
