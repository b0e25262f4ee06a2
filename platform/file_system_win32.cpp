#include "platform/real_file_system.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace dupsieve {
namespace {

// The listing's attribute bits are handed on as the system reports them.
static_assert(kAttributeHidden == FILE_ATTRIBUTE_HIDDEN);
static_assert(kAttributeSystem == FILE_ATTRIBUTE_SYSTEM);
static_assert(kAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY);

// Owns a handle that `Close` releases. File handles and find handles share a
// type but not a closing call, hence the parameter.
template <BOOL(WINAPI* Close)(HANDLE)>
class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() {
    if (valid()) Close(handle_);
  }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

 private:
  HANDLE handle_;
};

using UniqueFile = UniqueHandle<::CloseHandle>;
using UniqueFind = UniqueHandle<::FindClose>;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::uint64_t combine(DWORD high, DWORD low) {
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

// The prefix that a pattern's entry names join: everything up to and
// including its last separator (or a bare drive's colon), else nothing.
std::string prefixOf(const std::string& pattern) {
  const auto separator = pattern.find_last_of("/\\");
  if (separator != std::string::npos) return pattern.substr(0, separator + 1);
  if (pattern.size() >= 2 && pattern[1] == ':') return pattern.substr(0, 2);
  return {};
}

// The directory that a pattern lists: its prefix, or the current directory.
std::string directoryPart(const std::string& pattern) {
  std::string prefix = prefixOf(pattern);
  return prefix.empty() ? "." : prefix;
}

// Volume serial number and file index name one directory however its path is
// spelled. A directory that cannot be opened for its attributes stays {0,0}.
DirectoryId identifyDirectory(const std::string& directory) {
  // Backup semantics is what lets CreateFile open a directory at all.
  UniqueFile handle(::CreateFileA(directory.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle.valid()) return {};
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle.get(), &info)) return {};
  return {info.dwVolumeSerialNumber, combine(info.nFileIndexHigh, info.nFileIndexLow)};
}

// A reparse point (symbolic link, junction, mount point) is reported as a
// system entry and not as a directory: the walk never records, opens or
// descends it, so links cannot make it loop.
void describe(const WIN32_FIND_DATAA& found, DirectoryEntry& entry) {
  const DWORD raw = found.dwFileAttributes;
  entry.name.assign(found.cFileName);
  entry.inode = 0;  // a listing does not report file indexes
  entry.attributes = raw & (kAttributeHidden | kAttributeSystem | kAttributeDirectory);
  if ((raw & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    entry.attributes = (entry.attributes & ~kAttributeDirectory) | kAttributeSystem;
  }
  const bool isFile = (raw & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
  entry.size = isFile ? combine(found.nFileSizeHigh, found.nFileSizeLow) : 0;
}

std::unique_ptr<DirectoryListing> listPattern(const std::string& pattern);

// The system matches the pattern itself, "." and ".." included for "*.*".
class FindListing final : public DirectoryListing {
 public:
  FindListing(HANDLE handle, const WIN32_FIND_DATAA& first, DirectoryId id, std::string prefix)
      : handle_(handle), id_(id), prefix_(std::move(prefix)) {
    describe(first, entry_);
  }
  const DirectoryEntry& entry() const override { return entry_; }
  DirectoryId directory() const override { return id_; }
  bool next() override {
    WIN32_FIND_DATAA found{};
    if (!::FindNextFileA(handle_.get(), &found)) return false;
    describe(found, entry_);
    return true;
  }
  // Reparse points are listed as system entries, so only a directory that
  // was listed as a plain one is descended.
  std::unique_ptr<DirectoryListing> openSubdirectory() override {
    if ((entry_.attributes & kAttributeDirectory) == 0 || entry_.name == "." ||
        entry_.name == "..") {
      return nullptr;
    }
    return listPattern(prefix_ + entry_.name + "/*.*");
  }

 private:
  UniqueFind handle_;
  DirectoryId id_;
  std::string prefix_;
  DirectoryEntry entry_;
};

std::unique_ptr<DirectoryListing> listPattern(const std::string& pattern) {
  WIN32_FIND_DATAA found{};
  UniqueFind handle(::FindFirstFileA(pattern.c_str(), &found));
  if (!handle.valid()) return nullptr;
  const DirectoryId id = identifyDirectory(directoryPart(pattern));
  return std::make_unique<FindListing>(handle.release(), found, id, prefixOf(pattern));
}

Removal removalFailure(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return Removal::Gone;
    case ERROR_ACCESS_DENIED: return Removal::PermissionDenied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return Removal::InUse;
    case ERROR_WRITE_PROTECT: return Removal::ReadOnly;
    default: return Removal::Refused;
  }
}

}  // namespace

struct RealFileSystem::State {
  std::vector<unsigned char> readBuffer;  // bounded, reused for every read
};

// The preferred calls are Linux calls; there is nothing to choose here.
RealFileSystem::RealFileSystem(PreferredCalls /*preferred*/) : state_(std::make_unique<State>()) {}
RealFileSystem::~RealFileSystem() = default;

std::unique_ptr<DirectoryListing> RealFileSystem::findFirst(const std::string& pattern) {
  return listPattern(pattern);
}

void RealFileSystem::readHeads(std::span<HeadRead> reads) { HeadReader::readHeads(reads); }

bool RealFileSystem::readLeadingBytes(const std::string& path, std::uint64_t length,
                                      ByteSink& sink) {
  // A final link is opened as itself, not followed, so only what was listed
  // is read; sharing everything keeps other programs' access undisturbed.
  UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.valid()) return false;
  // Pipes and character devices could block a read or never end.
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file.get(), &info)) return false;
  if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return false;
  }

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
  // Reports a final link itself, without following it.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    return removalFailure(::GetLastError());
  }
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return Removal::NotAFile;
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Removal::Directory;
  if (combine(data.nFileSizeHigh, data.nFileSizeLow) != listed.size) return Removal::Changed;
  // An identity the listing could not read says nothing.
  if (listed.directory != DirectoryId{} &&
      identifyDirectory(directoryPart(path)) != listed.directory) {
    return Removal::DirectoryReplaced;
  }
  // DeleteFile never removes a directory.
  if (!::DeleteFileA(path.c_str())) return removalFailure(::GetLastError());
  return Removal::Removed;
}

}  // namespace dupsieve
