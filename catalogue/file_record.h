#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/compare_mode.h"
#include "catalogue/listed_directory.h"
#include "platform/file_system.h"

namespace dupsieve {

// One found file, carried by value through every stage. Its path is held as
// the directory it was listed in (shared by every record of that directory)
// and its own name; copies share that directory, which never changes.
class FileRecord {
 public:
  // A file named `name` listed in `holder`, which keeps the name and the
  // device (see ListedDirectory::hasRoomFor).
  FileRecord(const std::shared_ptr<ListedDirectory>& holder, std::string_view name,
             std::uint64_t recordSize, std::uint64_t entryInode, std::uint64_t entryDevice,
             std::uint64_t entryModified = 0, std::uint64_t entryBorn = 0);

  // As the walk composed it: the directory's prefix, then the entry name.
  std::string path() const;
  // The path up to and including its last "/" (empty when it has none).
  std::string_view directoryPart() const { return holder_->prefix(); }
  // The last component of the path.
  std::string_view name() const { return holder_->name(place_); }
  // The directory that holds the entry.
  DirectoryId directory() const { return holder_->id(); }
  // What the records of its listing share.
  const ListedDirectory& listedDirectory() const { return *holder_; }
  // True when both were recorded from one listing of one directory.
  bool sameListedDirectory(const FileRecord& other) const { return holder_ == other.holder_; }
  // The device that held the entry as listed, 0 if unknown.
  std::uint64_t device() const { return holder_->deviceOf(place_); }

  // What the listing reported, for checking that the path still names it.
  ListedFile listed() const {
    return ListedFile{directory(), device(), inode, size, modified, born};
  }

  std::uint64_t size = 0;      // bytes, as listed during the walk; never refreshed
  std::uint64_t inode = 0;     // the entry's own inode number as listed, 0 if unknown
  std::uint64_t modified = 0;  // its times as listed (DirectoryEntry), 0 if unknown
  std::uint64_t born = 0;
  std::uint32_t digest = 0;    // cached sample digest; 0 means not computed yet

  // Whether the head was read while the walk went on, so that the digest
  // stage does not read it again: a digest of 0 is a sum like any other.
  bool headReadAhead() const { return headReadAhead_ != 0; }
  void markHeadReadAhead() { headReadAhead_ = 1; }

  // Whether no other file of its size was listed in the whole walk, as far
  // as the walk kept count: such a file is never a candidate.
  bool aloneInItsSize() const { return aloneInItsSize_ != 0; }
  void markAloneInItsSize() { aloneInItsSize_ = 1; }

 private:
  // Declared so that the record packs into 56 bytes: a million of them are
  // held at once, and the list is copied in part while it is sorted. The
  // name's length and the device are kept by the holder for that reason;
  // a place fits in 30 bits, which leaves two for the marks.
  std::uint32_t place_ : 30 = 0;  // of its name and device in the holder
  std::uint32_t headReadAhead_ : 1 = 0;
  std::uint32_t aloneInItsSize_ : 1 = 0;
  std::shared_ptr<const ListedDirectory> holder_;
};

static_assert(sizeof(void*) != 8 || sizeof(FileRecord) <= 56,
              "a million records are held at once: keep a record within 56 bytes");

// Under CompareMode::ByPath: byte order of the paths (unsigned bytes, shorter
// prefix first). Otherwise: by size, then digest, both unsigned.
bool operator<(const FileRecord& a, const FileRecord& b);
// Equality of the same mode: equal paths, or equal size and digest.
bool operator==(const FileRecord& a, const FileRecord& b);

// A group of doubtful files: two or more records of equal size and digest,
// in ascending path order. The groups of a run are runs of its candidate
// list, which holds them while they are reported: a million files can make
// hundreds of thousands of groups, and copies of their members would add
// to the peak of memory.
using Group = std::span<FileRecord>;

}  // namespace dupsieve
