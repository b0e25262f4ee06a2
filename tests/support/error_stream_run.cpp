#include "tests/support/error_stream_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/temp_dir.h"

namespace dupsieve::testing {
namespace {

// Long enough for a loaded machine, short enough that a stalled run fails
// the test instead of hanging the suite.
constexpr int kPatienceMs = 10000;

// Opens a new terminal, sets its screen side raw (no line-ending
// translation) and returns both sides. The screen side must stay open until
// the child has it: reading the control side fails while no one has the
// screen open.
std::pair<int, int> openRawTerminal() {
  const int control = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[256];
  if (control < 0 || ::grantpt(control) != 0 || ::unlockpt(control) != 0 ||
      ::ptsname_r(control, name, sizeof name) != 0) {
    throw std::runtime_error("cannot set up a terminal");
  }
  const int screen = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  struct termios mode {};
  if (screen < 0 || ::tcgetattr(screen, &mode) != 0) throw std::runtime_error("cannot open the terminal");
  ::cfmakeraw(&mode);
  ::tcsetattr(screen, TCSANOW, &mode);
  return {control, screen};
}

// Appends what the terminal shows until the child's side is closed (reading
// then fails); false when that takes longer than the patience allows.
bool drain(int control, std::string& text) {
  char buffer[4096];
  for (;;) {
    pollfd waiting{control, POLLIN, 0};
    const int ready = ::poll(&waiting, 1, kPatienceMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) return false;
    const ssize_t got = ::read(control, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return true;
    text.append(buffer, static_cast<std::size_t>(got));
  }
}

// What the finished but not yet reaped `child` read in all.
std::uint64_t bytesReadBy(pid_t child) {
  siginfo_t info{};
  while (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
  }
  std::ifstream io("/proc/" + std::to_string(child) + "/io");
  std::string key;
  std::uint64_t value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return 0;
}

}  // namespace

TwoStreamResult runDupsieveWithError(const std::vector<std::string>& arguments,
                                     const std::string& input,
                                     const std::string& workingDirectory, ErrorTo error,
                                     const std::vector<std::string>& environment) {
  const TempDir scratch;
  const std::string inputPath = scratch.write("stdin", input);
  const std::string outputPath = scratch / "stdout";
  const std::string errorPath = scratch / "stderr";
  const bool inputOnTerminal = error == ErrorTo::TerminalOfInput;
  const auto [control, screen] =
      error == ErrorTo::File ? std::pair<int, int>{-1, -1} : openRawTerminal();

  std::vector<std::string> strings{DUPSIEVE_BINARY};
  strings.insert(strings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : strings) argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::vector<std::string> variables = environment;

  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int in = inputOnTerminal ? screen : ::open(inputPath.c_str(), O_RDONLY);
    const int out = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = screen >= 0 ? screen : ::open(errorPath.c_str(), O_WRONLY | O_CREAT, 0600);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
        ::dup2(err, 2) < 0 || ::chdir(workingDirectory.c_str()) != 0) {
      ::_exit(127);
    }
    for (std::string& variable : variables) ::putenv(variable.data());
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }

  TwoStreamResult result;
  result.finished = true;
  if (control >= 0) {
    ::close(screen);
    // Raw: no echo, and the answers wait in the terminal until read.
    if (inputOnTerminal && ::write(control, input.data(), input.size()) !=
                               static_cast<ssize_t>(input.size())) {
      throw std::runtime_error("cannot type the answers");
    }
    result.finished = drain(control, result.error);
    ::close(control);
    if (!result.finished) ::kill(child, SIGKILL);
  }
  result.bytesRead = bytesReadBy(child);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  result.finished = result.finished && WIFEXITED(status);
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.output = scratch.read("stdout");
  if (control < 0) result.error = scratch.read("stderr");
  return result;
}

}  // namespace dupsieve::testing
