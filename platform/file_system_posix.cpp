#include "platform/real_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>
#include <utility>

#include "platform/pass_reader_posix.h"
#include "platform/posix_io.h"
#include "platform/wildcard_match.h"

namespace dupsieve {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

// A pattern split at its last "/": the directory to open and the component
// to match in it.
struct SplitPattern {
  std::string directory;
  std::string_view component;
};

SplitPattern splitPattern(const std::string& pattern) {
  const auto slash = pattern.rfind('/');
  if (slash == std::string::npos) return {".", pattern};
  return {pattern.substr(0, slash + 1), std::string_view(pattern).substr(slash + 1)};
}

// Anything that is neither a regular file nor a directory is a "system"
// entry, which the walk never records, opens or descends: links cannot make
// it loop and a FIFO cannot make it hang.
void describeByMode(mode_t mode, std::uint64_t length, DirectoryEntry& entry) {
  if (S_ISREG(mode)) {
    entry.attributes = 0;
    entry.size = length;
  } else if (S_ISDIR(mode)) {
    entry.attributes = kAttributeDirectory;
    entry.size = 0;
  } else {
    entry.attributes = kAttributeSystem;
    entry.size = 0;
  }
}

// One metadata call relative to the open directory, never following links.
// False when the entry has vanished meanwhile.
bool describeAt(int directoryFd, const char* name, DirectoryEntry& entry) {
  struct statx info {};
  if (::statx(directoryFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
              STATX_TYPE | STATX_SIZE | STATX_INO, &info) != 0) {
    return false;
  }
  describeByMode(info.stx_mode, info.stx_size, entry);
  entry.inode = info.stx_ino;
  return true;
}

// Describes a directory-read entry, asking for metadata only where the type
// that the read reported is not enough: regular files need their size.
bool describeEntry(int directoryFd, const dirent& raw, DirectoryEntry& entry) {
  entry.name.assign(raw.d_name);
  entry.inode = raw.d_ino;
  switch (raw.d_type) {
    case DT_DIR:
      entry.attributes = kAttributeDirectory;
      entry.size = 0;
      return true;
    case DT_LNK:
    case DT_FIFO:
    case DT_SOCK:
    case DT_CHR:
    case DT_BLK:
      entry.attributes = kAttributeSystem;
      entry.size = 0;
      return true;
    default:
      return describeAt(directoryFd, raw.d_name, entry);
  }
}

bool identify(int fd, DirectoryId& id) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return false;
  id = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
  return true;
}

int openDirectory(const std::string& path) {
  return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// A pattern without wildcards: the one entry it names.
class SingleEntryListing final : public DirectoryListing {
 public:
  SingleEntryListing(DirectoryEntry entry, DirectoryId id)
      : entry_(std::move(entry)), id_(id) {}
  const DirectoryEntry& entry() const override { return entry_; }
  bool next() override { return false; }
  DirectoryId directory() const override { return id_; }

 private:
  DirectoryEntry entry_;
  DirectoryId id_;
};

// A pattern with wildcards: one pass over the directory, "." and ".."
// included, keeping the names that match.
class PatternListing final : public DirectoryListing {
 public:
  PatternListing(UniqueDir dir, std::string_view component, DirectoryId id)
      : dir_(std::move(dir)), component_(component), id_(id) {}
  const DirectoryEntry& entry() const override { return entry_; }
  DirectoryId directory() const override { return id_; }
  bool next() override {
    const int fd = ::dirfd(dir_.get());
    while (const dirent* raw = ::readdir(dir_.get())) {
      if (!matchesWildcard(component_, raw->d_name)) continue;
      if (describeEntry(fd, *raw, entry_)) return true;
    }
    return false;
  }

 private:
  UniqueDir dir_;
  std::string component_;
  DirectoryId id_;
  DirectoryEntry entry_;
};

}  // namespace

std::unique_ptr<DirectoryListing> RealFileSystem::findFirst(const std::string& pattern) {
  const SplitPattern split = splitPattern(pattern);
  if (split.component.empty()) return nullptr;

  posix::UniqueFd fd(openDirectory(split.directory));
  if (fd.get() < 0) return nullptr;
  DirectoryId id;
  if (!identify(fd.get(), id)) return nullptr;

  if (!hasWildcards(split.component)) {
    DirectoryEntry entry;
    const std::string name(split.component);
    if (!describeAt(fd.get(), name.c_str(), entry)) return nullptr;
    entry.name = name;
    return std::make_unique<SingleEntryListing>(std::move(entry), id);
  }

  UniqueDir dir(::fdopendir(fd.get()));
  if (!dir) return nullptr;
  fd.release();
  auto listing = std::make_unique<PatternListing>(std::move(dir), split.component, id);
  if (!listing->next()) return nullptr;
  return listing;
}

RealFileSystem::RealFileSystem() = default;
RealFileSystem::~RealFileSystem() = default;

bool RealFileSystem::readLeadingBytes(const std::string& path, std::uint64_t length,
                                      ByteSink& sink) {
  // The whole path is resolved at every read, so that a directory replaced
  // since an earlier read is never read through what that read kept.
  posix::UniqueFd fd(posix::openForReading(AT_FDCWD, path.c_str()));
  if (fd.get() < 0) return false;
  bool hadToWait = false;
  return posix::readOpenHead(fd.get(), length, sink, readBuffer_, hadToWait);
}

std::unique_ptr<HeadReader> RealFileSystem::passReader() {
  return std::make_unique<posix::PassReader>();
}

std::optional<FileStatus> RealFileSystem::status(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
  FileStatus result;
  result.type = S_ISREG(info.st_mode)   ? FileType::Regular
                : S_ISDIR(info.st_mode) ? FileType::Directory
                                        : FileType::Other;
  result.size = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
  result.inode = static_cast<std::uint64_t>(info.st_ino);
  return result;
}

bool RealFileSystem::removeFile(const std::string& path) {
  // unlink never removes a directory.
  return ::unlink(path.c_str()) == 0;
}

}  // namespace dupsieve
