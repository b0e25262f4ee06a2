#include "tests/support/constrained_run_linux.h"

#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <stdexcept>

#include "tests/support/child_process_posix.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace dupsieve::testing {
namespace {

// Longer than other runs may take: the deepest tree is walked here, under
// the lowest limit on open files, and under a sanitizer in CI.
constexpr std::chrono::seconds kTimeLimit{60};

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

int openForChild(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  return fd;
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
  const std::vector<std::string> environment = environmentFor(constraints);

  // A pipe whose reading end is closed before the binary starts: every
  // write to it fails.
  Pipe closedPipe;
  closedPipe.closeRead();

  const int in = openForChild(inputPath, O_RDONLY);
  const int out = constraints.outputClosed
                      ? closedPipe.write()
                      : openForChild(scratch / "stdout", O_WRONLY | O_CREAT | O_TRUNC);
  const int err = openForChild(scratch / "stderr", O_WRONLY | O_CREAT | O_TRUNC);
  StartSettings settings;
  settings.input = in;
  settings.output = out;
  settings.error = err;
  settings.environment = &environment;
  settings.inChild = [&constraints] {
    if (constraints.openFileLimit) {
      const rlimit limit{*constraints.openFileLimit, *constraints.openFileLimit};
      if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
    }
    return !constraints.ringRefused || refuseIoUringSetup();
  };
  const pid_t child = startBinary(arguments, workingDirectory, settings);
  ::close(in);
  if (!constraints.outputClosed) ::close(out);
  ::close(err);
  closedPipe.closeWrite();

  const ChildEnd end = waitForChild(child, Clock::now() + kTimeLimit);
  ConstrainedResult result;
  result.finished = end.finished;
  if (WIFEXITED(end.status)) result.exitStatus = WEXITSTATUS(end.status);
  if (WIFSIGNALED(end.status)) result.signal = WTERMSIG(end.status);
  result.output = scratch.read("stdout");
  result.errors = scratch.read("stderr");
  return result;
}

}  // namespace dupsieve::testing
