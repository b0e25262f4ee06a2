#include "platform/real_file_system.h"

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/reparse_tag.h"
#include "platform/system_path_win32.h"

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
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = other.release();
    }
    return *this;
  }
  ~UniqueHandle() { reset(); }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

 private:
  void reset() {
    if (valid()) Close(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  HANDLE handle_;
};

using UniqueFile = UniqueHandle<::CloseHandle>;
using UniqueFind = UniqueHandle<::FindClose>;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::uint64_t combine(DWORD high, DWORD low) {
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

bool isReparsePoint(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// A reparse point that is a link or no data at all; one whose contents the
// system serves like an ordinary file's or directory's is not.
bool isLinkOrSpecial(DWORD attributes, DWORD tag) {
  return isReparsePoint(attributes) && classifyReparseTag(tag) != ReparseKind::Transparent;
}

bool isDriveName(std::string_view pattern) {
  return pattern.size() == 2 && pattern[1] == ':' &&
         ((pattern[0] >= 'A' && pattern[0] <= 'Z') || (pattern[0] >= 'a' && pattern[0] <= 'z'));
}

// "D:name" names an entry of drive D's current directory, but the walk
// builds paths from what precedes the last "/", which would lose the drive:
// the entry's files would be read, and deleted, in the wrong directory.
bool isRelativeToAnotherDrive(std::string_view pattern) {
  return pattern.size() > 2 && isDriveName(pattern.substr(0, 2)) &&
         pattern.find_first_of("/\\") == std::string_view::npos;
}

std::string_view lastComponent(std::string_view pattern) {
  const auto separator = pattern.find_last_of("/\\");
  return separator == std::string_view::npos ? pattern : pattern.substr(separator + 1);
}

// "X:" is the whole drive here, not the current directory on it: it is what
// a person means by "-r D:" (and by "-r D:\", which loses its backslash on
// the command line).
std::string asSystemSees(const std::string& pattern) {
  return isDriveName(pattern) ? pattern + "/" : pattern;
}

// The prefix that a pattern's entry names join: everything up to and
// including its last separator, else nothing.
std::string prefixOf(const std::string& pattern) {
  const auto separator = pattern.find_last_of("/\\");
  return separator == std::string::npos ? std::string() : pattern.substr(0, separator + 1);
}

// The directory that a pattern lists or whose entry it names: its prefix, a
// bare drive's root, or the current directory.
std::string directoryPart(const std::string& pattern) {
  if (isDriveName(pattern)) return pattern + "/";
  std::string prefix = prefixOf(pattern);
  return prefix.empty() ? "." : prefix;
}

// Volume serial number and file index name one directory however its path is
// spelled. A directory that cannot be opened for its attributes stays {0,0}.
DirectoryId identifyDirectory(const std::string& directory) {
  // Backup semantics is what lets CreateFile open a directory at all.
  UniqueFile handle(::CreateFileW(systemPath(directory).c_str(), FILE_READ_ATTRIBUTES, kShareAll,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle.valid()) return {};
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle.get(), &info)) return {};
  return {info.dwVolumeSerialNumber, combine(info.nFileIndexHigh, info.nFileIndexLow)};
}

// A link, junction or mount point, or a reparse point that holds no data, is
// reported as a system entry and not as a directory: the walk never records,
// opens or descends it, so links cannot make it loop or lead it out of the
// tree. Any other reparse point is the file or directory it looks like.
void describe(const WIN32_FIND_DATAW& found, DirectoryEntry& entry) {
  const DWORD raw = found.dwFileAttributes;
  entry.name = utf8FromWide(found.cFileName);
  entry.inode = 0;  // a listing does not report file indexes
  entry.attributes = raw & (kAttributeHidden | kAttributeSystem | kAttributeDirectory);
  // For a reparse point the find data carries its tag in dwReserved0.
  const bool linkOrSpecial = isLinkOrSpecial(raw, found.dwReserved0);
  if (linkOrSpecial) {
    entry.attributes = (entry.attributes & ~kAttributeDirectory) | kAttributeSystem;
  }
  const bool isFile = !linkOrSpecial && (raw & FILE_ATTRIBUTE_DIRECTORY) == 0;
  entry.size = isFile ? combine(found.nFileSizeHigh, found.nFileSizeLow) : 0;
}

std::unique_ptr<DirectoryListing> listPattern(const std::string& pattern);

// The system matches the pattern itself, "." and ".." included for "*.*",
// by its own rule: without regard to case, and against short names too.
class FindListing final : public DirectoryListing {
 public:
  FindListing(UniqueFind handle, const WIN32_FIND_DATAW& first, DirectoryId id, std::string prefix)
      : handle_(std::move(handle)), id_(id), prefix_(std::move(prefix)) {
    describe(first, entry_);
  }
  const DirectoryEntry& entry() const override { return entry_; }
  DirectoryId directory() const override { return id_; }
  bool next() override {
    WIN32_FIND_DATAW found{};
    if (!::FindNextFileW(handle_.get(), &found)) return false;
    describe(found, entry_);
    return true;
  }
  // Links are listed as system entries, so only a directory that was listed
  // as a plain one (or one whose contents the system serves) is descended.
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

// A pattern that names a directory without giving it a name of its own in
// any listing: ".", ".." or a drive. It yields that one directory under the
// name it was given, as on every other system.
class DirectoryItselfListing final : public DirectoryListing {
 public:
  DirectoryItselfListing(std::string name, DirectoryId id) : id_(id) {
    entry_.name = std::move(name);
    entry_.attributes = kAttributeDirectory;
  }
  const DirectoryEntry& entry() const override { return entry_; }
  DirectoryId directory() const override { return id_; }
  bool next() override { return false; }
  // A drive is descended from its root; "." and ".." never are.
  std::unique_ptr<DirectoryListing> openSubdirectory() override {
    return isDriveName(entry_.name) ? listPattern(entry_.name + "/*.*") : nullptr;
  }

 private:
  DirectoryId id_;
  DirectoryEntry entry_;
};

std::unique_ptr<DirectoryListing> findDirectoryItself(const std::string& pattern) {
  const DWORD attributes = ::GetFileAttributesW(systemPath(asSystemSees(pattern)).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return nullptr;
  }
  const std::string name = isDriveName(pattern) ? pattern : std::string(lastComponent(pattern));
  return std::make_unique<DirectoryItselfListing>(name, identifyDirectory(directoryPart(pattern)));
}

// Paths on a drive or a share name files; anything else (a device path the
// user gave) may name a pipe or a console, whose reads could block forever.
bool mayBeDevice(std::wstring_view path) {
  const bool onDrive = path.size() >= 7 && path.substr(0, 4) == L"\\\\?\\" && path[5] == L':';
  const bool onShare = path.substr(0, 8) == L"\\\\?\\UNC\\";
  return !onDrive && !onShare;
}

bool sameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION first{};
  BY_HANDLE_FILE_INFORMATION second{};
  return ::GetFileInformationByHandle(a, &first) && ::GetFileInformationByHandle(b, &second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
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

std::unique_ptr<DirectoryListing> listPattern(const std::string& pattern) {
  WIN32_FIND_DATAW found{};
  // The basic level leaves out short names, which nothing here reads; large
  // fetches take more entries per call into the system.
  UniqueFind handle(::FindFirstFileExW(systemPath(pattern).c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr,
                                       FIND_FIRST_EX_LARGE_FETCH));
  if (!handle.valid()) return nullptr;
  const DirectoryId id = identifyDirectory(directoryPart(pattern));
  return std::make_unique<FindListing>(std::move(handle), found, id, prefixOf(pattern));
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

// Reads a file opened for its whole contents; closes it when it goes away.
class HandleContentReader final : public ContentReader {
 public:
  explicit HandleContentReader(HANDLE handle) : file_(handle) {}

  std::optional<std::size_t> read(std::span<unsigned char> into) override {
    constexpr std::size_t kMostPerCall = std::size_t{1} << 30;  // a DWORD's worth, and then some
    std::size_t filled = 0;
    while (filled < into.size()) {
      const std::size_t left = into.size() - filled;
      DWORD got = 0;
      const auto want = static_cast<DWORD>(left < kMostPerCall ? left : kMostPerCall);
      if (!::ReadFile(file_.get(), into.data() + filled, want, &got, nullptr)) return std::nullopt;
      if (got == 0) break;
      filled += got;
    }
    return filled;
  }

 private:
  UniqueFile file_;
};

}  // namespace

struct RealFileSystem::State {
  std::vector<unsigned char> readBuffer;  // bounded, reused for every read
};

// The preferred calls are Linux calls; there is nothing to choose here.
RealFileSystem::RealFileSystem(PreferredCalls /*preferred*/) : state_(std::make_unique<State>()) {}
RealFileSystem::~RealFileSystem() = default;

std::unique_ptr<DirectoryListing> RealFileSystem::findFirst(const std::string& pattern) {
  const std::string_view last = lastComponent(pattern);
  if (isDriveName(pattern) || last == "." || last == "..") return findDirectoryItself(pattern);
  if (isRelativeToAnotherDrive(pattern)) return nullptr;
  return listPattern(pattern);
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
  // Reports a final link itself, without following it.
  const std::wstring name = systemPath(path);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data)) {
    return removalFailure(::GetLastError());
  }
  DWORD tag = 0;
  if (isReparsePoint(data.dwFileAttributes)) {
    // Only a listing of the entry tells its reparse tag without opening it.
    WIN32_FIND_DATAW found{};
    const UniqueFind handle(::FindFirstFileExW(name.c_str(), FindExInfoBasic, &found,
                                               FindExSearchNameMatch, nullptr, 0));
    if (handle.valid()) tag = found.dwReserved0;
  }
  if (isLinkOrSpecial(data.dwFileAttributes, tag)) return Removal::NotAFile;
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Removal::Directory;
  if (combine(data.nFileSizeHigh, data.nFileSizeLow) != listed.size) return Removal::Changed;
  // An identity the listing could not read says nothing.
  if (listed.directory != DirectoryId{} &&
      identifyDirectory(directoryPart(path)) != listed.directory) {
    return Removal::DirectoryReplaced;
  }
  // DeleteFile never removes a directory.
  if (!::DeleteFileW(name.c_str())) return removalFailure(::GetLastError());
  return Removal::Removed;
}

OpenedContent RealFileSystem::openListedFile(const std::string& path, const ListedFile& listed) {
  // As for the heads: a final link is opened as itself, never followed, and
  // other programs keep every access they had.
  UniqueFile file(::CreateFileW(systemPath(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN,
                                nullptr));
  if (!file.valid()) {
    const DWORD error = ::GetLastError();
    const bool gone = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    return {gone ? ContentOpening::Gone : ContentOpening::Unreadable, nullptr};
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file.get(), &info)) return {ContentOpening::Unreadable, nullptr};
  const bool regular =
      ::GetFileType(file.get()) == FILE_TYPE_DISK &&
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
  // Identities the listing could not read say nothing.
  const bool sameFile =
      (listed.inode == 0 || combine(info.nFileIndexHigh, info.nFileIndexLow) == listed.inode) &&
      (listed.device == 0 || info.dwVolumeSerialNumber == listed.device);
  if (!regular || !sameFile || combine(info.nFileSizeHigh, info.nFileSizeLow) != listed.size) {
    return {ContentOpening::Changed, nullptr};
  }
  return {ContentOpening::Opened, std::make_unique<HandleContentReader>(file.release())};
}

}  // namespace dupsieve
