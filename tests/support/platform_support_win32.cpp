#include "tests/support/platform_support.h"

#include <windows.h>

#include "platform/windows/system_path.h"

namespace dupsieve::testing {
namespace {

using windows::systemPath;

// Through the extended form, so that trees deeper than the standard
// library's calls can reach are removed too.
void removeTreeAt(const std::wstring& directory) {
  WIN32_FIND_DATAW found{};
  const HANDLE listing = ::FindFirstFileW((directory + L"\\*").c_str(), &found);
  if (listing != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = directory + L"\\" + name;
      ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      const DWORD attributes = found.dwFileAttributes;
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
          (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        removeTreeAt(path);
      } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        ::RemoveDirectoryW(path.c_str());  // a link to a directory: only the link goes
      } else {
        ::DeleteFileW(path.c_str());
      }
    } while (::FindNextFileW(listing, &found));
    ::FindClose(listing);
  }
  ::RemoveDirectoryW(directory.c_str());
}

}  // namespace

void removeTree(const std::string& path) { removeTreeAt(systemPath(path)); }

std::string textFromOutput(const std::string& raw) {
  std::string text;
  text.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    text += raw[i];
  }
  return text;
}

}  // namespace dupsieve::testing
