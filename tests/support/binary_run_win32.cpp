#include "tests/support/binary_run.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>

#include "platform/windows/system_path.h"
#include "tests/support/platform_support.h"
#include "tests/support/temp_dir.h"

namespace dupsieve::testing {
namespace {

using windows::systemPath;
using windows::utf8FromWide;
using windows::wideFromUtf8;

class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      close();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
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

// A pipe whose end `ours` stays with this process, not inherited, so that
// closing it is seen by the child.
void makePipe(Handle& read, Handle& write, const Handle& ours) {
  SECURITY_ATTRIBUTES attributes = inheritable();
  if (!::CreatePipe(read.out(), write.out(), &attributes, 0)) {
    throw std::runtime_error("CreatePipe failed");
  }
  ::SetHandleInformation(ours.get(), HANDLE_FLAG_INHERIT, 0);
}

// Appends what `pipe` yields to `output` until `wanted` occurs in it (when
// not empty), the child closes its end, or `deadline` passes. False when the
// deadline passed.
bool readUntil(const Handle& pipe, std::string& output, const std::string& wanted,
               std::chrono::steady_clock::time_point deadline) {
  char buffer[4096];
  for (;;) {
    if (!wanted.empty() && output.find(wanted) != std::string::npos) return true;
    DWORD available = 0;
    if (!::PeekNamedPipe(pipe.get(), nullptr, 0, nullptr, &available, nullptr)) return true;
    if (available == 0) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      ::Sleep(2);
      continue;
    }
    DWORD got = 0;
    const DWORD want = available < sizeof buffer ? available : sizeof buffer;
    if (!::ReadFile(pipe.get(), buffer, want, &got, nullptr) || got == 0) return true;
    output.append(buffer, got);
  }
}

void writeAll(const Handle& pipe, const std::string& text) {
  std::size_t at = 0;
  while (at < text.size()) {
    DWORD put = 0;
    if (!::WriteFile(pipe.get(), text.data() + at, static_cast<DWORD>(text.size() - at), &put,
                     nullptr) ||
        put == 0) {
      return;  // the reader is gone; what it did not read it cannot answer
    }
    at += put;
  }
}

Handle start(const Run& run, const Handle& input, const Handle& output, const Handle& error) {
  const std::wstring binary = binaryPath();
  std::wstring line = commandLine(binary, run.arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.get();
  startup.hStdOutput = output.get();
  startup.hStdError = error.get();
  PROCESS_INFORMATION process{};
  // No console of its own: its streams are the ones given, never a console.
  if (!::CreateProcessW(binary.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, wideFromUtf8(run.workingDirectory).c_str(), &startup, &process)) {
    throw std::runtime_error("cannot start " + utf8FromWide(binary));
  }
  ::CloseHandle(process.hThread);
  return Handle(process.hProcess);
}

}  // namespace

RunResult runDupsieve(const Run& run) {
  RunResult result;
  if (run.error != ErrorTo::File || run.outputOnTerminal || !run.environment.empty() ||
      run.constraints.openFileLimit || !run.constraints.refusedCalls.empty() ||
      run.constraints.outputClosed || run.constraints.ringRefused != RingRefusal::None ||
      run.constraints.addressSpaceLimit || run.constraints.stackLimit ||
      !run.interruptAfter.empty()) {
    ADD_FAILURE() << "Windows runs the binary with files and pipes only, unconstrained";
    return result;
  }
  const TempDir scratch;
  const bool awaiting = !run.awaitedText.empty();
  // The child's ends, which it inherits, and ours, which it must not.
  Handle input;
  Handle output;
  Handle ourInput;
  Handle ourOutput;
  if (awaiting) {
    makePipe(input, ourInput, ourInput);
    makePipe(ourOutput, output, ourOutput);
  } else {
    // Files, so that a large output cannot deadlock.
    input = openInheritable(scratch.write("stdin", run.input), GENERIC_READ, OPEN_EXISTING);
    output = openInheritable(scratch / "stdout", GENERIC_WRITE, CREATE_ALWAYS);
  }
  Handle error = openInheritable(scratch / "stderr", GENERIC_WRITE, CREATE_ALWAYS);
  if (!input.valid() || !output.valid() || !error.valid()) {
    throw std::runtime_error("cannot open the files for a run");
  }
  const Handle process = start(run, input, output, error);
  input.close();
  output.close();
  error.close();

  const auto deadline = std::chrono::steady_clock::now() + kRunTimeLimit;
  bool stalled = false;
  if (awaiting) {
    stalled = !readUntil(ourOutput, result.rawOutput, run.awaitedText, deadline);
    result.sawText = result.rawOutput.find(run.awaitedText) != std::string::npos;
    if (result.sawText) {
      if (run.whileWaiting) run.whileWaiting();
      writeAll(ourInput, run.input);
    }
    ourInput.close();
    if (!stalled) stalled = !readUntil(ourOutput, result.rawOutput, "", deadline);
  }
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
  const DWORD wait = stalled || left <= 0 ? 0 : static_cast<DWORD>(left);
  if (::WaitForSingleObject(process.get(), wait) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 1);
    ::WaitForSingleObject(process.get(), INFINITE);
  } else {
    DWORD code = 0;
    ::GetExitCodeProcess(process.get(), &code);
    result.exitStatus = static_cast<int>(code);
    result.finished = !stalled;
  }
  if (!result.finished) ADD_FAILURE() << "the binary was killed after " << kRunTimeLimit.count() << " s";
  ourOutput.close();
  if (!awaiting) result.rawOutput = scratch.read("stdout");
  result.output = textFromOutput(result.rawOutput);
  result.errors = scratch.read("stderr");
  return result;
}

}  // namespace dupsieve::testing
