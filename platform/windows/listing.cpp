#include "platform/windows/listing.h"

#include <windows.h>

#include <string_view>
#include <utility>
#include <vector>

#include "platform/conventions.h"
#include "platform/path_parts.h"
#include "platform/windows/file_identity.h"
#include "platform/windows/handle.h"
#include "platform/windows/system_path.h"

namespace dupsieve::windows {
namespace {

// The listing's attribute bits are handed on as the system reports them.
static_assert(kAttributeHidden == FILE_ATTRIBUTE_HIDDEN);
static_assert(kAttributeSystem == FILE_ATTRIBUTE_SYSTEM);
static_assert(kAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY);

// "X:" is the whole drive here, not the current directory on it: it is what
// a person means by "-r D:" (and by "-r D:\", which loses its backslash on
// the command line).
std::string asSystemSees(const std::string& pattern) {
  return isDriveName(pattern) ? pattern + "/" : pattern;
}

// A link, junction or mount point, or a reparse point that holds no data, is
// reported as a system entry and not as a directory: the walk never records,
// opens or descends it, so links cannot make it loop or lead it out of the
// tree. Any other reparse point is the file or directory it looks like.
void describe(std::wstring_view name, DWORD attributes, DWORD tag, std::uint64_t size,
              DirectoryEntry& entry) {
  entry.name = utf8FromWide(name);
  entry.attributes = attributes & (kAttributeHidden | kAttributeSystem | kAttributeDirectory);
  const bool linkOrSpecial = isLinkOrSpecial(attributes, tag);
  if (linkOrSpecial) {
    entry.attributes = (entry.attributes & ~kAttributeDirectory) | kAttributeSystem;
  }
  const bool isFile = !linkOrSpecial && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  entry.size = isFile ? size : 0;
}

std::unique_ptr<DirectoryListing> startHandleListing(UniqueFile directory, DirectoryId id);

// Lists the subdirectory that `entry` of the open directory `parent` names,
// if it is still the directory the listing reported: opened relative to
// `parent`, never through a link, and with the file index that was listed.
// Links were listed as system entries, so only a directory listed as a plain
// one (or one whose contents the system serves) gets here.
std::unique_ptr<DirectoryListing> listSubdirectory(HANDLE parent, const DirectoryEntry& entry,
                                                   std::uint64_t volume) {
  if ((entry.attributes & kAttributeDirectory) == 0 || isDotOrDotDot(entry.name)) return nullptr;
  const std::wstring name = wideFromUtf8(entry.name);
  constexpr ACCESS_MASK kListing = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES;
  DWORD error = 0;
  UniqueFile directory = openEntry(parent, name, kListing, FILE_DIRECTORY_FILE, error);
  if (!directory.valid()) return nullptr;
  // A junction or link put in its place was opened as itself: refused.
  FILE_ATTRIBUTE_TAG_INFO info{};
  if (!::GetFileInformationByHandleEx(directory.get(), FileAttributeTagInfo, &info, sizeof info) ||
      isLinkOrSpecial(info.FileAttributes, info.ReparseTag)) {
    return nullptr;
  }
  // Links are never followed, so the volume is the parent's. A file index
  // the listing could not tell says nothing.
  const std::uint64_t index = fileIndexOf(directory.get());
  if (entry.inode != 0 && index != entry.inode) return nullptr;
  if ((info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // A cloud folder may fill in its entries only when listed through the
    // system's own handling, which must reach the very folder checked above.
    directory = openServedEntry(parent, name, kListing, FILE_DIRECTORY_FILE, error);
    if (!directory.valid() || fileIndexOf(directory.get()) != index) return nullptr;
  }
  return startHandleListing(std::move(directory), DirectoryId{volume, index});
}

// The entries of an open directory as the system reads them out, a batch
// at a time, each with its file index, which the find calls do not report.
class DirectoryReader {
 public:
  explicit DirectoryReader(HANDLE directory)
      : directory_(directory), batch_(kBatchBytes / sizeof(std::uint64_t)) {}

  // Moves to the first entry, then to each next one; false once there is
  // none left or the directory cannot be read.
  bool advance() {
    if (ended_) return false;
    const ULONG step = started_ ? current().NextEntryOffset : 0;
    started_ = true;
    if (step != 0) {
      offset_ += step;
      return true;
    }
    offset_ = 0;
    ended_ = !::GetFileInformationByHandleEx(directory_, FileIdBothDirectoryInfo, batch_.data(),
                                             static_cast<DWORD>(batch_.size() * sizeof batch_[0]));
    return !ended_;
  }
  // The system lays the entries out aligned for this structure.
  const FILE_ID_BOTH_DIR_INFO& current() const {
    return *reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(
        reinterpret_cast<const unsigned char*>(batch_.data()) + offset_);
  }
  std::wstring_view currentName() const {
    return std::wstring_view(current().FileName, current().FileNameLength / sizeof(wchar_t));
  }
  std::uint64_t currentIndex() const {
    return knownIndex(static_cast<std::uint64_t>(current().FileId.QuadPart));
  }

 private:
  // Enough for a few hundred entries per call into the system, small
  // enough that a deep tree's listings, each holding one, stay small.
  static constexpr std::size_t kBatchBytes = 16 * 1024;

  HANDLE directory_;
  std::vector<std::uint64_t> batch_;  // 8-byte units keep the entries aligned
  std::size_t offset_ = 0;            // of the current entry in the batch, in bytes
  bool started_ = false;
  bool ended_ = false;
};

// Every entry of an open directory, "." and ".." included where the system
// has them.
class HandleListing final : public DirectoryListing {
 public:
  HandleListing(UniqueFile directory, DirectoryId id)
      : directory_(std::move(directory)), id_(id), reader_(directory_.get()) {}

  // False when the directory cannot be read or is empty.
  bool start() { return next(); }
  const DirectoryEntry& entry() const override { return entry_; }
  DirectoryId directory() const override { return id_; }
  bool next() override {
    if (!reader_.advance()) return false;
    const FILE_ID_BOTH_DIR_INFO& info = reader_.current();
    // For a reparse point the size of its extended attributes is its tag.
    describe(reader_.currentName(), info.FileAttributes, info.EaSize,
             static_cast<std::uint64_t>(info.EndOfFile.QuadPart), entry_);
    entry_.inode = reader_.currentIndex();
    entry_.device = id_.device;
    entry_.modified = timeOf(info.LastWriteTime);
    entry_.born = timeOf(info.CreationTime);
    return true;
  }
  std::unique_ptr<DirectoryListing> openSubdirectory() override {
    return listSubdirectory(directory_.get(), entry_, id_.device);
  }

 private:
  UniqueFile directory_;
  DirectoryId id_;
  DirectoryReader reader_;
  DirectoryEntry entry_;
};

std::unique_ptr<DirectoryListing> startHandleListing(UniqueFile directory, DirectoryId id) {
  auto listing = std::make_unique<HandleListing>(std::move(directory), id);
  if (!listing->start()) return nullptr;
  return listing;
}

std::unique_ptr<DirectoryListing> listEverything(const std::string& directoryPath) {
  UniqueFile directory = openDirectory(directoryPath);
  if (!directory.valid()) return nullptr;
  const DirectoryId id = identityOf(directory.get());
  return startHandleListing(std::move(directory), id);
}

// The system matches the pattern itself, "." and ".." included for "*.*",
// by its own rule: without regard to case, and against short names too.
// The file indexes come from reading the same directory through its handle
// alongside, in the order a find reports its matches too; an entry missed
// that way (the directory changed meanwhile) is asked for its own.
class FindListing final : public DirectoryListing {
 public:
  FindListing(UniqueFind find, UniqueFile directory, DirectoryId id, const WIN32_FIND_DATAW& first)
      : find_(std::move(find)), directory_(std::move(directory)), id_(id),
        alongside_(directory_.get()) {
    describeFound(first);
  }
  const DirectoryEntry& entry() const override { return entry_; }
  DirectoryId directory() const override { return id_; }
  bool next() override {
    WIN32_FIND_DATAW found{};
    if (!::FindNextFileW(find_.get(), &found)) return false;
    describeFound(found);
    return true;
  }
  std::unique_ptr<DirectoryListing> openSubdirectory() override {
    return listSubdirectory(directory_.get(), entry_, id_.device);
  }

 private:
  void describeFound(const WIN32_FIND_DATAW& found) {
    // For a reparse point the find data carries its tag in dwReserved0.
    describe(found.cFileName, found.dwFileAttributes, found.dwReserved0,
             combine(found.nFileSizeHigh, found.nFileSizeLow), entry_);
    entry_.device = id_.device;
    entry_.inode = 0;
    entry_.modified = timeOf(found.ftLastWriteTime);
    entry_.born = timeOf(found.ftCreationTime);
    // Links and the like are never recorded or descended.
    if (isDotOrDotDot(found.cFileName) ||
        isLinkOrSpecial(found.dwFileAttributes, found.dwReserved0)) {
      return;
    }
    entry_.inode = indexAlongside(found.cFileName);
    if (entry_.inode != 0) return;
    DWORD error = 0;
    const UniqueFile itself = openEntry(directory_.get(), found.cFileName, FILE_READ_ATTRIBUTES, 0,
                                        error);
    if (itself.valid()) entry_.inode = fileIndexOf(itself.get());
  }
  // Reads on from the entry found last; 0 once the reading has passed the
  // name by, and for every name after that.
  std::uint64_t indexAlongside(std::wstring_view name) {
    while (alongside_.advance()) {
      if (alongside_.currentName() == name) return alongside_.currentIndex();
    }
    return 0;
  }

  UniqueFind find_;
  UniqueFile directory_;
  DirectoryId id_;
  DirectoryReader alongside_;
  DirectoryEntry entry_;
};

std::unique_ptr<DirectoryListing> listMatching(const std::string& pattern) {
  WIN32_FIND_DATAW found{};
  // The basic level leaves out short names, which nothing here reads; large
  // fetches take more entries per call into the system.
  UniqueFind find(::FindFirstFileExW(systemPath(pattern).c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!find.valid()) return nullptr;
  UniqueFile directory = openDirectory(directoryPart(pattern));
  if (!directory.valid()) return nullptr;
  const DirectoryId id = identityOf(directory.get());
  return std::make_unique<FindListing>(std::move(find), std::move(directory), id, found);
}

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
    return isDriveName(entry_.name) ? listEverything(entry_.name + "/") : nullptr;
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
  const std::string name =
      isDriveName(pattern) ? pattern : std::string(splitAtLastSeparator(pattern).name);
  const UniqueFile directory = openDirectory(directoryPart(pattern));
  const DirectoryId id = directory.valid() ? identityOf(directory.get()) : DirectoryId{};
  return std::make_unique<DirectoryItselfListing>(name, id);
}

}  // namespace

std::unique_ptr<DirectoryListing> listPattern(const std::string& pattern) {
  const std::string_view last = splitAtLastSeparator(pattern).name;
  if (isDriveName(pattern) || isDotOrDotDot(last)) return findDirectoryItself(pattern);
  // The walk builds paths from what precedes the last "/", which would lose
  // the drive: the entry's files would be read, and deleted, elsewhere.
  if (isDriveRelative(pattern)) return nullptr;
  // Every name matches these, by the system's rule as well.
  if (last == "*.*" || last == "*") return listEverything(directoryPart(pattern));
  return listMatching(pattern);
}

}  // namespace dupsieve::windows
