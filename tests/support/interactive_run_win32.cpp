#include "tests/support/interactive_run.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <utility>

#include "platform/system_path_win32.h"
#include "tests/support/platform_support.h"
#include "tests/support/temp_dir.h"

namespace dupsieve::testing {
namespace {

using Clock = std::chrono::steady_clock;

class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { close(); }
  HANDLE get() const { return handle_; }
  HANDLE* out() { return &handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  void close() {
    if (valid()) ::CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

// One argument quoted so that the child's command-line parser gives it back
// unchanged: backslashes are literal except before a quote.
std::wstring quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring result = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    result.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    result += c;
  }
  result.append(backslashes * 2, L'\\');
  return result + L"\"";
}

// The binary sits beside the test program (the build puts them together),
// which spares this program any translation of the build's own paths.
std::wstring binaryPath() {
  std::wstring self(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    if (length == 0) throw std::runtime_error("GetModuleFileNameW failed");
    if (length < self.size()) {
      self.resize(length);
      break;
    }
    self.resize(self.size() * 2);
  }
  return self.substr(0, self.find_last_of(L"\\/") + 1) + wideFromUtf8(DUPSIEVE_BINARY_NAME);
}

std::wstring commandLine(const std::wstring& binary, const std::vector<std::string>& arguments) {
  std::wstring line = quoted(binary);
  for (const std::string& argument : arguments) line += L" " + quoted(wideFromUtf8(argument));
  return line;
}

SECURITY_ATTRIBUTES inheritable() {
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof attributes;
  attributes.bInheritHandle = TRUE;
  return attributes;
}

Handle openInheritable(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES attributes = inheritable();
  return Handle(::CreateFileW(systemPath(path).c_str(), access,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Starts the binary with the given handles (which must be inheritable) as its
// standard streams; returns its process handle.
Handle start(const std::vector<std::string>& arguments, HANDLE input, HANDLE output,
             HANDLE error, const std::string& workingDirectory) {
  const std::wstring binary = binaryPath();
  std::wstring line = commandLine(binary, arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = error;
  PROCESS_INFORMATION process{};
  // No console of its own: its streams are the ones given, never a console.
  if (!::CreateProcessW(binary.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, wideFromUtf8(workingDirectory).c_str(), &startup, &process)) {
    throw std::runtime_error("cannot start " + utf8FromWide(binary));
  }
  ::CloseHandle(process.hThread);
  return Handle(process.hProcess);
}

// Waits for the process until `deadline`, killing it then. Its exit status,
// or nullopt when it had to be killed.
std::optional<int> waitUntil(HANDLE process, Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (::WaitForSingleObject(process, left > 0 ? static_cast<DWORD>(left) : 0) != WAIT_OBJECT_0) {
    ::TerminateProcess(process, 1);
    ::WaitForSingleObject(process, INFINITE);
    return std::nullopt;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process, &code);
  return static_cast<int>(code);
}

void failKilled() {
  ADD_FAILURE() << "the binary was killed after running for " << kRunTimeLimit.count() << " s";
}

enum class ReadOutcome { Found, Ended, TimedOut };

// Appends what the pipe yields to `output` until `wanted` occurs in it (when
// not empty), the writer closes its end, or the deadline passes.
ReadOutcome readUntil(HANDLE pipe, std::string& output, const std::string& wanted,
                      Clock::time_point deadline) {
  char buffer[4096];
  for (;;) {
    if (!wanted.empty() && output.find(wanted) != std::string::npos) return ReadOutcome::Found;
    DWORD available = 0;
    if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
      return ReadOutcome::Ended;
    }
    if (available == 0) {
      if (Clock::now() >= deadline) return ReadOutcome::TimedOut;
      ::Sleep(2);
      continue;
    }
    DWORD got = 0;
    const DWORD want = available < sizeof buffer ? available : sizeof buffer;
    if (!::ReadFile(pipe, buffer, want, &got, nullptr) || got == 0) return ReadOutcome::Ended;
    output.append(buffer, got);
  }
}

void writeAll(HANDLE pipe, const std::string& text) {
  std::size_t at = 0;
  while (at < text.size()) {
    DWORD put = 0;
    if (!::WriteFile(pipe, text.data() + at, static_cast<DWORD>(text.size() - at), &put,
                     nullptr) ||
        put == 0) {
      return;  // the reader is gone; what it did not read it cannot answer
    }
    at += put;
  }
}

}  // namespace

RunResult runDupsieve(const std::vector<std::string>& arguments, const std::string& input,
                      const std::string& workingDirectory) {
  // Input and output go through files, so a large output cannot deadlock.
  const TempDir scratch;
  const std::string inputPath = scratch.write("stdin", input);
  RunResult result;
  {
    const Handle in = openInheritable(inputPath, GENERIC_READ, OPEN_EXISTING);
    const Handle out = openInheritable(scratch / "stdout", GENERIC_WRITE, CREATE_ALWAYS);
    const Handle err = openInheritable(scratch / "stderr", GENERIC_WRITE, CREATE_ALWAYS);
    if (!in.valid() || !out.valid() || !err.valid()) {
      throw std::runtime_error("cannot open the files for a run");
    }
    const Handle process = start(arguments, in.get(), out.get(), err.get(), workingDirectory);
    const std::optional<int> status = waitUntil(process.get(), Clock::now() + kRunTimeLimit);
    result.finished = status.has_value();
    result.exitStatus = status.value_or(-1);
  }
  if (!result.finished) failKilled();
  result.rawOutput = scratch.read("stdout");
  result.output = textFromOutput(result.rawOutput);
  result.errors = scratch.read("stderr");
  return result;
}

InteractiveResult runDupsieveInteractively(const std::vector<std::string>& arguments,
                                           const std::string& workingDirectory,
                                           const std::string& awaitedText,
                                           const std::function<void()>& whileWaiting,
                                           const std::string& answers) {
  SECURITY_ATTRIBUTES attributes = inheritable();
  Handle inputRead;
  Handle inputWrite;
  Handle outputRead;
  Handle outputWrite;
  if (!::CreatePipe(inputRead.out(), inputWrite.out(), &attributes, 0) ||
      !::CreatePipe(outputRead.out(), outputWrite.out(), &attributes, 0)) {
    throw std::runtime_error("CreatePipe failed");
  }
  // Only the child's ends are inherited, so that closing ours ends its input.
  ::SetHandleInformation(inputWrite.get(), HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(outputRead.get(), HANDLE_FLAG_INHERIT, 0);

  const Handle process =
      start(arguments, inputRead.get(), outputWrite.get(), nullptr, workingDirectory);
  inputRead.close();
  outputWrite.close();

  InteractiveResult result;
  std::string raw;
  const auto deadline = Clock::now() + kRunTimeLimit;
  const ReadOutcome first = readUntil(outputRead.get(), raw, awaitedText, deadline);
  bool stalled = first == ReadOutcome::TimedOut;
  result.sawText = first == ReadOutcome::Found;
  if (result.sawText) {
    whileWaiting();
    writeAll(inputWrite.get(), answers);
  }
  inputWrite.close();
  if (!stalled) {
    stalled = readUntil(outputRead.get(), raw, "", Clock::now() + kRunTimeLimit) ==
              ReadOutcome::TimedOut;
  }
  const std::optional<int> status =
      waitUntil(process.get(), stalled ? Clock::now() : Clock::now() + kRunTimeLimit);
  result.finished = !stalled && status.has_value();
  result.exitStatus = status.value_or(-1);
  if (!result.finished) failKilled();
  result.output = textFromOutput(raw);
  return result;
}

}  // namespace dupsieve::testing
