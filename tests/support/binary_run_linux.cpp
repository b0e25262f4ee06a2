#include "tests/support/binary_run.h"

#include <fcntl.h>
#include <linux/filter.h>
#include <linux/io_uring.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>

#include "tests/support/child_process_posix.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace dupsieve::testing {
namespace {

// What this process and the children it has reaped read in all, less the
// bytes of an earlier call's own reading (`spent`, which this call sets to
// its own). Reaping a child adds its figures to its parent's, so the
// difference across a reaping is the child's, and unlike the child's own
// figures once it has ended, a process may read its own whoever runs it.
std::uint64_t bytesReadHere(std::uint64_t& spent) {
  std::ifstream io("/proc/self/io");
  const std::string text((std::istreambuf_iterator<char>(io)), std::istreambuf_iterator<char>());
  const std::size_t at = text.find("rchar:");
  const std::uint64_t value = at == std::string::npos ? 0 : std::stoull(text.substr(at + 6));
  const std::uint64_t earlier = std::exchange(spent, text.size());
  return value - earlier;
}

// This process's environment with what the run adds in place of any
// variable of the same name.
std::vector<std::string> environmentFor(const Run& run) {
  std::vector<std::string> added = run.environment;
  if (!run.constraints.refusedCalls.empty()) {
    added.push_back(std::string("LD_PRELOAD=") + DUPSIEVE_REFUSING_LIBRARY);
    added.push_back("DUPSIEVE_REFUSE=" + run.constraints.refusedCalls);
    // A sanitized binary otherwise insists on its runtime being loaded first.
    added.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
  }
  std::vector<std::string> variables;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string text(*variable);
    const std::string name = text.substr(0, text.find('=') + 1);
    bool replaced = false;
    for (const std::string& addition : added) replaced = replaced || addition.starts_with(name);
    if (!replaced) variables.push_back(text);
  }
  variables.insert(variables.end(), added.begin(), added.end());
  return variables;
}

// What the child does to itself before it becomes the binary.
std::function<bool()> restrictionsOf(const Constraints& constraints) {
  if (!constraints.openFileLimit && constraints.ringRefused == RingRefusal::None &&
      !constraints.addressSpaceLimit && !constraints.stackLimit && !constraints.unprivileged) {
    return {};
  }
  return [constraints] {
    if (constraints.openFileLimit) {
      const rlimit limit{*constraints.openFileLimit, *constraints.openFileLimit};
      if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
    }
    if (constraints.addressSpaceLimit) {
      const rlimit limit{*constraints.addressSpaceLimit, *constraints.addressSpaceLimit};
      if (::setrlimit(RLIMIT_AS, &limit) != 0) return false;
    }
    if (constraints.stackLimit) {
      const rlimit limit{*constraints.stackLimit, *constraints.stackLimit};
      if (::setrlimit(RLIMIT_STACK, &limit) != 0) return false;
    }
    if (constraints.ringRefused != RingRefusal::None && !refuseIoUring(constraints.ringRefused)) {
      return false;
    }
    // Last, as what came before may need root. 65534: "nobody", "nogroup".
    return !constraints.unprivileged || (::setgroups(0, nullptr) == 0 &&
                                         ::setresgid(65534, 65534, 65534) == 0 &&
                                         ::setresuid(65534, 65534, 65534) == 0);
  };
}

// A file opened for the child; closed once the child has it.
class ChildFile {
 public:
  ChildFile(const std::string& path, int flags) : fd_(::open(path.c_str(), flags | O_CLOEXEC, 0600)) {
    if (fd_ < 0) throw std::runtime_error("cannot open " + path);
  }
  ChildFile(const ChildFile&) = delete;
  ChildFile& operator=(const ChildFile&) = delete;
  ~ChildFile() { ::close(fd_); }
  int get() const { return fd_; }

 private:
  int fd_;
};

constexpr int kWriting = O_WRONLY | O_CREAT | O_TRUNC;

}  // namespace

bool refuseIoUring(RingRefusal refused) {
  const unsigned call =
      refused == RingRefusal::Enter ? __NR_io_uring_enter : __NR_io_uring_setup;
  sock_filter rules[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, call, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program{static_cast<unsigned short>(std::size(rules)), rules};
  return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

bool ioUringSetUpWorks() {
  io_uring_params params{};
  const long fd = ::syscall(__NR_io_uring_setup, 1, &params);
  if (fd >= 0) ::close(static_cast<int>(fd));
  return fd >= 0;
}

RunResult runDupsieve(const Run& run) {
  const bool awaiting = !run.awaitedText.empty();
  const bool inputOnTerminal = run.error == ErrorTo::TerminalOfInput;
  std::optional<RawTerminal> terminal;
  if (run.outputOnTerminal || run.error != ErrorTo::File) terminal.emplace();
  RunResult result;
  if (awaiting && terminal) {
    ADD_FAILURE() << "a run awaits text on its output pipe with no terminal beside it";
    return result;
  }
  const TempDir scratch;
  const std::vector<std::string> environment = environmentFor(run);
  Pipe input;
  Pipe output;
  // A closed output is a pipe whose reading end is closed before the binary
  // starts: every write to it fails.
  if (run.constraints.outputClosed) output.closeRead();

  pid_t child = -1;
  {
    std::optional<ChildFile> inputFile;
    std::optional<ChildFile> outputFile;
    std::optional<ChildFile> errorFile;
    StartSettings settings;
    if (inputOnTerminal) {
      settings.input = terminal->screen();
    } else if (awaiting) {
      settings.input = input.read();
    } else {
      settings.input = inputFile.emplace(scratch.write("stdin", run.input), O_RDONLY).get();
    }
    if (run.outputOnTerminal) {
      settings.output = terminal->screen();
    } else if (awaiting || run.constraints.outputClosed) {
      settings.output = output.write();
    } else {
      settings.output = outputFile.emplace(scratch / "stdout", kWriting).get();
    }
    settings.error = run.error != ErrorTo::File
                         ? terminal->screen()
                         : errorFile.emplace(scratch / "stderr", kWriting).get();
    settings.environment = &environment;
    settings.inChild = restrictionsOf(run.constraints);
    child = startBinary(run.arguments, run.workingDirectory, settings);
  }
  // Only the child keeps its ends, so that closing ours ends its input and
  // its exit ends our reading.
  input.closeRead();
  output.closeWrite();
  if (terminal) terminal->closeScreen();

  // What the pipe or the terminal yields while the child runs; once it has
  // ended and closed its side, reading fails: that is the end of its output.
  std::string watched;
  const auto deadline = Clock::now() + kRunTimeLimit;
  bool stalled = false;
  if (awaiting) {
    const ReadOutcome first = readUntil(output.read(), watched, run.awaitedText, deadline);
    stalled = first == ReadOutcome::TimedOut;
    result.sawText = first == ReadOutcome::Found;
    if (result.sawText) {
      if (run.whileWaiting) run.whileWaiting();
      writeAll(input.write(), run.input);
    }
    input.closeWrite();
    if (!stalled) stalled = readUntil(output.read(), watched, "", deadline) == ReadOutcome::TimedOut;
  } else if (terminal) {
    // Raw: no echo, and the answers wait in the terminal until read.
    if (inputOnTerminal) writeAll(terminal->control(), run.input);
    if (!run.interruptAfter.empty() &&
        readUntil(terminal->control(), watched, run.interruptAfter, deadline) ==
            ReadOutcome::Found) {
      ::kill(child, SIGINT);
    }
    stalled = readUntil(terminal->control(), watched, "", deadline) == ReadOutcome::TimedOut;
  }
  std::uint64_t spent = 0;
  std::uint64_t beforeReaping = 0;
  const ChildEnd end = waitForChild(child, stalled ? Clock::now() : deadline,
                                    [&] { beforeReaping = bytesReadHere(spent); });
  result.bytesRead = bytesReadHere(spent) - beforeReaping;
  result.finished = !stalled && end.finished;
  if (WIFEXITED(end.status)) result.exitStatus = WEXITSTATUS(end.status);
  if (WIFSIGNALED(end.status)) result.signal = WTERMSIG(end.status);
  if (!result.finished) ADD_FAILURE() << "the binary was killed after " << kRunTimeLimit.count() << " s";
  const bool outputWatched = awaiting || run.outputOnTerminal;
  result.rawOutput = outputWatched ? watched : scratch.read("stdout");
  result.output = result.rawOutput;
  if (run.error == ErrorTo::File) result.errors = scratch.read("stderr");
  if (run.error != ErrorTo::File && !outputWatched) result.errors = watched;
  return result;
}

}  // namespace dupsieve::testing
