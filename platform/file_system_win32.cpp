#include "platform/real_file_system.h"

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/file_identity_win32.h"
#include "platform/handle_win32.h"
#include "platform/listing_win32.h"
#include "platform/removal_win32.h"
#include "platform/system_path_win32.h"

namespace dupsieve {
namespace {

bool isReparsePoint(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// Paths on a drive or a share name files; anything else (a device path the
// user gave) may name a pipe or a console, whose reads could block forever.
bool mayBeDevice(std::wstring_view path) {
  const bool onDrive = path.size() >= 7 && path.substr(0, 4) == L"\\\\?\\" && path[5] == L':';
  const bool onShare = path.substr(0, 8) == L"\\\\?\\UNC\\";
  return !onDrive && !onShare;
}

bool sameFile(HANDLE a, HANDLE b) {
  const DirectoryId first = identityOf(a);
  return first != DirectoryId{} && first == identityOf(b);
}

// Opens `path` for reading its data without ever following a link: invalid
// when it is not a file whose data can be read.
UniqueFile openDataFile(const std::wstring& path) {
  // Opened as itself first, so that a link put in its place is not followed.
  // A directory cannot be opened at all without backup semantics.
  UniqueFile itself(::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!itself.valid()) return itself;
  // The one query of each read: it tells directories and reparse points.
  FILE_ATTRIBUTE_TAG_INFO info{};
  if (!::GetFileInformationByHandleEx(itself.get(), FileAttributeTagInfo, &info, sizeof info) ||
      (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
      isLinkOrSpecial(info.FileAttributes, info.ReparseTag) ||
      (mayBeDevice(path) && ::GetFileType(itself.get()) != FILE_TYPE_DISK)) {
    return UniqueFile(INVALID_HANDLE_VALUE);
  }
  if (!isReparsePoint(info.FileAttributes)) return itself;

  // A placeholder or a deduplicated file: only an open through the system's
  // own handling gives its real data. Such an open would follow a link that
  // replaced the file meanwhile, so it must reach the file opened above.
  UniqueFile served(::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  0, nullptr));
  if (!served.valid() || !sameFile(itself.get(), served.get())) {
    return UniqueFile(INVALID_HANDLE_VALUE);
  }
  return served;
}

}  // namespace

struct RealFileSystem::State {
  std::vector<unsigned char> readBuffer;  // bounded, reused for every read
};

// The preferred calls are Linux calls; there is nothing to choose here.
RealFileSystem::RealFileSystem(PreferredCalls /*preferred*/) : state_(std::make_unique<State>()) {}
RealFileSystem::~RealFileSystem() = default;

std::unique_ptr<DirectoryListing> RealFileSystem::findFirst(const std::string& pattern) {
  return listPatternOnWindows(pattern);
}

// Every read resolves its whole path here.
std::unique_ptr<HeadReader> RealFileSystem::passReader() { return FileSystem::passReader(); }

bool RealFileSystem::readLeadingBytes(const std::string& path, std::uint64_t length,
                                      ByteSink& sink) {
  // Sharing everything keeps other programs' access undisturbed; a file that
  // another program holds exclusively cannot be opened and gives false.
  const UniqueFile file = openDataFile(systemPath(path));
  if (!file.valid()) return false;

  // A fixed buffer bounds memory whatever the sample length.
  std::vector<unsigned char>& buffer = state_->readBuffer;
  if (buffer.empty()) buffer.resize(64 * 1024);
  std::uint64_t remaining = length;
  while (remaining > 0) {
    const DWORD want = remaining < buffer.size() ? static_cast<DWORD>(remaining)
                                                 : static_cast<DWORD>(buffer.size());
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer.data(), want, &got, nullptr) || got == 0) break;
    sink.consume(std::span<const unsigned char>(buffer.data(), got));
    remaining -= got;
  }
  return true;
}

Removal RealFileSystem::removeListedFile(const std::string& path, const ListedFile& listed) {
  return removeListedFileOnWindows(path, listed);
}

}  // namespace dupsieve
