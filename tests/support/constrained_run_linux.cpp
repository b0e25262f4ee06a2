#include "tests/support/constrained_run_linux.h"

#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace dupsieve::testing {
namespace {

constexpr std::chrono::seconds kTimeLimit{60};

std::string contentsOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The environment of this process, with what the constraints add.
std::vector<std::string> environmentFor(const Constraints& constraints) {
  std::vector<std::string> variables;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string text(*variable);
    if (text.starts_with("LD_PRELOAD=") || text.starts_with("ASAN_OPTIONS=")) continue;
    variables.push_back(text);
  }
  if (!constraints.refusedCalls.empty()) {
    variables.push_back(std::string("LD_PRELOAD=") + DUPSIEVE_REFUSING_LIBRARY);
    variables.push_back("DUPSIEVE_REFUSE=" + constraints.refusedCalls);
    // A sanitized binary otherwise insists on its runtime being loaded first.
    variables.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
  }
  return variables;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& text : strings) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

bool refuseIoUringSetup() {
  sock_filter rules[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_io_uring_setup, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program{static_cast<unsigned short>(std::size(rules)), rules};
  return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

ConstrainedResult runDupsieveConstrained(const std::vector<std::string>& arguments,
                                         const std::string& input,
                                         const std::string& workingDirectory,
                                         const Constraints& constraints) {
  const TempDir scratch;
  const std::string inputPath = scratch.write("stdin", input);
  const std::string outputPath = scratch / "stdout";
  const std::string errorPath = scratch / "stderr";

  std::vector<std::string> argvStrings{DUPSIEVE_BINARY};
  argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv = pointersTo(argvStrings);
  std::vector<std::string> environment = environmentFor(constraints);
  std::vector<char*> envp = pointersTo(environment);

  // A pipe whose reading end is closed before the binary starts: every
  // write to it fails.
  int closedPipe[2] = {-1, -1};
  if (constraints.outputClosed) {
    if (::pipe2(closedPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    ::close(closedPipe[0]);
  }

  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    // The default reaction to a broken pipe, as from a shell.
    ::signal(SIGPIPE, SIG_DFL);
    if (constraints.openFileLimit) {
      const rlimit limit{*constraints.openFileLimit, *constraints.openFileLimit};
      if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(126);
    }
    const int in = ::open(inputPath.c_str(), O_RDONLY);
    const int out = constraints.outputClosed
                        ? closedPipe[1]
                        : ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
        ::dup2(err, 2) < 0 || ::chdir(workingDirectory.c_str()) != 0 ||
        (constraints.ringRefused && !refuseIoUringSetup())) {
      ::_exit(127);
    }
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  if (constraints.outputClosed) ::close(closedPipe[1]);

  ConstrainedResult result;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + kTimeLimit;
  for (;;) {
    const pid_t ended = ::waitpid(child, &status, WNOHANG);
    if (ended == child) {
      result.finished = true;
      break;
    }
    if (ended < 0 && errno != EINTR) break;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.output = contentsOf(outputPath);
  result.errors = contentsOf(errorPath);
  return result;
}

}  // namespace dupsieve::testing
