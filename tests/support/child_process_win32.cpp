#include "tests/support/child_process.h"

#include <windows.h>

#include <stdexcept>
#include <utility>

#include "platform/windows/system_path.h"

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

}  // namespace

struct ChildProcess::State {
  Handle process;
  Handle input;   // our end of the input pipe
  Handle output;  // our end of the output pipe
};

ChildProcess::ChildProcess(const std::vector<std::string>& arguments,
                           const std::string& workingDirectory, const ChildStreams& streams)
    : state_(std::make_unique<State>()) {
  // The child's ends, which it inherits; ours are closed once it has them.
  Handle input;
  Handle output;
  Handle error;
  if (streams.inputFile.empty()) {
    makePipe(input, state_->input, state_->input);
  } else {
    input = openInheritable(streams.inputFile, GENERIC_READ, OPEN_EXISTING);
  }
  if (streams.outputFile.empty()) {
    makePipe(state_->output, output, state_->output);
  } else {
    output = openInheritable(streams.outputFile, GENERIC_WRITE, CREATE_ALWAYS);
  }
  if (!streams.errorFile.empty()) {
    error = openInheritable(streams.errorFile, GENERIC_WRITE, CREATE_ALWAYS);
  }
  if (!input.valid() || !output.valid() || (!streams.errorFile.empty() && !error.valid())) {
    throw std::runtime_error("cannot open the files for a run");
  }

  const std::wstring binary = binaryPath();
  std::wstring line = commandLine(binary, arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.get();
  startup.hStdOutput = output.get();
  startup.hStdError = error.get();
  PROCESS_INFORMATION process{};
  // No console of its own: its streams are the ones given, never a console.
  if (!::CreateProcessW(binary.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, wideFromUtf8(workingDirectory).c_str(), &startup, &process)) {
    throw std::runtime_error("cannot start " + utf8FromWide(binary));
  }
  ::CloseHandle(process.hThread);
  state_->process = Handle(process.hProcess);
}

ChildProcess::~ChildProcess() {
  if (state_->process.valid()) wait(Clock::now());
}

ReadOutcome ChildProcess::readOutputUntil(std::string& output, const std::string& wanted,
                                          Clock::time_point deadline) {
  char buffer[4096];
  for (;;) {
    if (!wanted.empty() && output.find(wanted) != std::string::npos) return ReadOutcome::Found;
    DWORD available = 0;
    if (!::PeekNamedPipe(state_->output.get(), nullptr, 0, nullptr, &available, nullptr)) {
      return ReadOutcome::Ended;
    }
    if (available == 0) {
      if (Clock::now() >= deadline) return ReadOutcome::TimedOut;
      ::Sleep(2);
      continue;
    }
    DWORD got = 0;
    const DWORD want = available < sizeof buffer ? available : sizeof buffer;
    if (!::ReadFile(state_->output.get(), buffer, want, &got, nullptr) || got == 0) {
      return ReadOutcome::Ended;
    }
    output.append(buffer, got);
  }
}

void ChildProcess::writeInput(const std::string& text) {
  std::size_t at = 0;
  while (at < text.size()) {
    DWORD put = 0;
    if (!::WriteFile(state_->input.get(), text.data() + at, static_cast<DWORD>(text.size() - at),
                     &put, nullptr) ||
        put == 0) {
      return;  // the reader is gone; what it did not read it cannot answer
    }
    at += put;
  }
}

void ChildProcess::closeInput() { state_->input.close(); }

std::optional<int> ChildProcess::wait(Clock::time_point deadline) {
  const HANDLE process = state_->process.get();
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  std::optional<int> status;
  if (::WaitForSingleObject(process, left > 0 ? static_cast<DWORD>(left) : 0) != WAIT_OBJECT_0) {
    ::TerminateProcess(process, 1);
    ::WaitForSingleObject(process, INFINITE);
  } else {
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    status = static_cast<int>(code);
  }
  state_->process.close();
  return status;
}

}  // namespace dupsieve::testing
