#include "platform/conventions.h"

#include <windows.h>

#include <vector>

#include "platform/windows/system_path.h"
#include "platform/windows/utf16.h"

namespace dupsieve {

std::string manualReference() {
  // The release archive holds the manual beside the program, wherever it
  // was unpacked.
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return "dupsieve.html beside dupsieve.exe";
    if (length < path.size()) {
      std::u16string program(path.begin(), path.begin() + length);
      program.erase(program.find_last_of(u"\\/") + 1);
      return windows::utf8FromUtf16(program + u"dupsieve.html");
    }
    path.resize(path.size() * 2);
  }
}

bool isDriveRelative(std::string_view path) {
  // "D:name" names an entry of drive D's current folder; with a "/" or "\\"
  // after it, the paths the walk builds keep the drive and lead there.
  return path.size() > 2 && windows::isDriveName(path.substr(0, 2)) &&
         path.find_first_of("/\\") == std::string_view::npos;
}

}  // namespace dupsieve
