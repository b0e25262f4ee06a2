#include "platform/conventions.h"

#include <windows.h>

#include <vector>

#include "platform/utf16.h"

namespace dupsieve {

std::string manualReference() {
  // The release archive holds the manual beside the program, wherever it
  // was unpacked.
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return "dupsieve.html beside dupsieve.exe";
    if (length < path.size()) {
      std::u16string program(path.begin(), path.begin() + length);
      program.erase(program.find_last_of(u"\\/") + 1);
      return utf8FromUtf16(program + u"dupsieve.html");
    }
    path.resize(path.size() * 2);
  }
}

bool isDriveRelative(std::string_view path) {
  const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  return path.size() > 2 && isLetter(path[0]) && path[1] == ':' && path[2] != '/';
}

}  // namespace dupsieve
