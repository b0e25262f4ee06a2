#include "platform/windows/system_path.h"

#include <windows.h>

#include <algorithm>

#include "platform/windows/utf16.h"

namespace dupsieve::windows {
namespace {

bool startsWith(std::wstring_view text, std::wstring_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The system's own normalisation: absolute, "." and ".." resolved. Empty
// when it fails.
std::wstring fullPath(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return {};
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);  // too small: `length` is the size it needs
  }
}

}  // namespace

std::wstring wideFromUtf8(std::string_view utf8) {
  const std::u16string utf16 = utf16FromUtf8(utf8);
  return std::wstring(utf16.begin(), utf16.end());
}

std::string utf8FromWide(std::wstring_view wide) {
  return utf8FromUtf16(std::u16string(wide.begin(), wide.end()));
}

std::wstring systemPath(std::string_view path) {
  std::wstring wide = wideFromUtf8(path);
  if (wide.empty()) return wide;
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  if (startsWith(wide, L"\\\\?\\") || startsWith(wide, L"\\\\.\\")) return wide;

  // The directory part goes through the system's normalisation, the last
  // component is appended untouched; "." and ".." are themselves part of
  // what is to be resolved.
  std::wstring directory;
  std::wstring last;
  const auto separator = wide.find_last_of(L'\\');
  if (separator != std::wstring::npos) {
    directory = wide.substr(0, separator + 1);
    last = wide.substr(separator + 1);
  } else if (wide.size() >= 2 && wide[1] == L':') {
    directory = wide.substr(0, 2);  // "D:name": relative to D:'s current directory
    last = wide.substr(2);
  } else {
    directory = L".";
    last = wide;
  }
  if (isDotOrDotDot(last)) {
    directory = wide;
    last.clear();
  }

  std::wstring full = fullPath(directory);
  if (full.empty()) return wide;
  if (!last.empty() && full.back() != L'\\') full += L'\\';
  full += last;

  if (startsWith(full, L"\\\\?\\") || startsWith(full, L"\\\\.\\")) return full;
  if (startsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

bool isDriveName(std::string_view pattern) {
  return pattern.size() == 2 && pattern[1] == ':' &&
         ((pattern[0] >= 'A' && pattern[0] <= 'Z') || (pattern[0] >= 'a' && pattern[0] <= 'z'));
}

PathParts splitAtLastSeparator(std::string_view path) {
  const auto separator = path.find_last_of("/\\");
  const std::size_t nameStart = separator == std::string_view::npos ? 0 : separator + 1;
  return {path.substr(0, nameStart), path.substr(nameStart)};
}

std::string directoryPart(const std::string& pattern) {
  if (isDriveName(pattern)) return pattern + "/";
  const std::string_view prefix = splitAtLastSeparator(pattern).directory;
  return prefix.empty() ? std::string(".") : std::string(prefix);
}

}  // namespace dupsieve::windows
