#include "platform/console.h"

#include <windows.h>

#include <iostream>
#include <string>
#include <string_view>

#include "platform/windows/utf16_text_buffer.h"

namespace dupsieve {
namespace {

// A buffer that writes to the console behind `handle`, or null when the
// handle is a pipe, a file or nothing.
std::unique_ptr<std::streambuf> consoleBuffer(DWORD which) {
  const HANDLE handle = ::GetStdHandle(which);
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr || !::GetConsoleMode(handle, &mode)) {
    return nullptr;
  }
  return std::make_unique<windows::Utf16TextBuffer>([handle](std::u16string_view text) {
    // A console takes at most a limited amount per call; write in parts.
    constexpr std::size_t kMostPerCall = 8192;
    const std::wstring wide(text.begin(), text.end());
    std::wstring_view left = wide;
    while (!left.empty()) {
      const std::size_t part = left.size() < kMostPerCall ? left.size() : kMostPerCall;
      DWORD written = 0;
      if (!::WriteConsoleW(handle, left.data(), static_cast<DWORD>(part), &written, nullptr) ||
          written == 0) {
        return false;
      }
      left.remove_prefix(written);
    }
    return true;
  });
}

}  // namespace

ConsoleText::ConsoleText()
    : output_(consoleBuffer(STD_OUTPUT_HANDLE)), error_(consoleBuffer(STD_ERROR_HANDLE)) {
  if (output_) {
    std::cout.flush();
    savedOutput_ = std::cout.rdbuf(output_.get());
  }
  if (error_) {
    std::cerr.flush();
    savedError_ = std::cerr.rdbuf(error_.get());
  }
}

ConsoleText::~ConsoleText() {
  if (output_) {
    std::cout.flush();
    std::cout.rdbuf(savedOutput_);
  }
  if (error_) {
    std::cerr.flush();
    std::cerr.rdbuf(savedError_);
  }
}

// The console keeps the tie: every read flushes the output first.
std::unique_ptr<std::streambuf> lazyFlushStandardInput(std::ostream& /*output*/) {
  return nullptr;
}

}  // namespace dupsieve
