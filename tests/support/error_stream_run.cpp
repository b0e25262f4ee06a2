#include "tests/support/error_stream_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/child_process_posix.h"
#include "tests/support/platform_support.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace dupsieve::testing {
namespace {

// What the ended but not yet reaped `child` read in all.
std::uint64_t bytesReadBy(pid_t child) {
  std::ifstream io("/proc/" + std::to_string(child) + "/io");
  std::string key;
  std::uint64_t value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return 0;
}

// This process's environment with `added` ("NAME=value") in place of any
// variable of the same name.
std::vector<std::string> environmentWith(const std::vector<std::string>& added) {
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

// Opens a file for the child; closed once the child has it.
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

}  // namespace

TwoStreamResult runDupsieveWithError(const std::vector<std::string>& arguments,
                                     const std::string& input,
                                     const std::string& workingDirectory, ErrorTo error,
                                     const std::vector<std::string>& environment) {
  const TempDir scratch;
  const std::string inputPath = scratch.write("stdin", input);
  const bool inputOnTerminal = error == ErrorTo::TerminalOfInput;
  std::optional<RawTerminal> terminal;
  if (error != ErrorTo::File) terminal.emplace();
  const std::vector<std::string> variables = environmentWith(environment);

  pid_t child = -1;
  {
    const ChildFile output(scratch / "stdout", O_WRONLY | O_CREAT | O_TRUNC);
    std::optional<ChildFile> inputFile;
    std::optional<ChildFile> errorFile;
    if (!inputOnTerminal) inputFile.emplace(inputPath, O_RDONLY);
    if (!terminal) errorFile.emplace(scratch / "stderr", O_WRONLY | O_CREAT | O_TRUNC);
    StartSettings settings;
    settings.input = inputFile ? inputFile->get() : terminal->screen();
    settings.output = output.get();
    settings.error = errorFile ? errorFile->get() : terminal->screen();
    settings.environment = &variables;
    child = startBinary(arguments, workingDirectory, settings);
  }

  TwoStreamResult result;
  const auto deadline = Clock::now() + kRunTimeLimit;
  bool stalled = false;
  if (terminal) {
    terminal->closeScreen();
    // Raw: no echo, and the answers wait in the terminal until read.
    if (inputOnTerminal) writeAll(terminal->control(), input);
    stalled = readUntil(terminal->control(), result.error, "", deadline) == ReadOutcome::TimedOut;
  }
  const ChildEnd end = waitForChild(child, stalled ? Clock::now() : deadline,
                                    [&] { result.bytesRead = bytesReadBy(child); });
  result.finished = !stalled && end.finished && exitStatusOf(end.status) >= 0;
  result.exitStatus = exitStatusOf(end.status);
  result.output = scratch.read("stdout");
  if (!terminal) result.error = scratch.read("stderr");
  return result;
}

}  // namespace dupsieve::testing
