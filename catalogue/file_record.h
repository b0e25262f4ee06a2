#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "catalogue/compare_mode.h"
#include "platform/file_system.h"

namespace dupsieve {

// One found file, carried by value through every stage.
struct FileRecord {
  // The entry's device is its directory's unless given.
  FileRecord(std::string recordPath, std::uint64_t recordSize, DirectoryId holder = {},
             std::uint64_t entryInode = 0)
      : FileRecord(std::move(recordPath), recordSize, holder, entryInode, holder.device) {}
  FileRecord(std::string recordPath, std::uint64_t recordSize, DirectoryId holder,
             std::uint64_t entryInode, std::uint64_t entryDevice)
      : path(std::move(recordPath)),
        size(recordSize),
        directory(holder),
        inode(entryInode),
        device(entryDevice) {}

  // Its sample digest over at most `blockSize` leading bytes (a negative
  // block size counts as 2^32 plus it). Answered from `digest` when that is
  // non-zero, whatever the block size; otherwise computed and cached.
  std::uint32_t sampleDigest(std::int32_t blockSize, HeadReader& reader);

  // How many bytes `sampleDigest` would read now: 0 when the digest is
  // cached or the sample is empty.
  std::uint64_t pendingSampleLength(std::int32_t blockSize) const;

  std::string path;          // as the walk composed it: prefix + entry name
  std::uint64_t size = 0;    // bytes, as listed during the walk; never refreshed
  std::uint32_t digest = 0;  // cached sample digest; 0 means not computed yet
  DirectoryId directory;     // the directory that holds the entry
  std::uint64_t inode = 0;   // the entry's own inode number as listed, 0 if unknown
  std::uint64_t device = 0;  // the device that held the entry as listed, 0 if unknown

  // What the listing reported, for checking that the path still names it.
  ListedFile listed() const { return ListedFile{directory, device, inode, size}; }
};

// Under CompareMode::ByPath: byte order of the paths (unsigned bytes, shorter
// prefix first). Otherwise: by size, then digest, both unsigned.
bool operator<(const FileRecord& a, const FileRecord& b);
// Equality of the same mode: equal paths, or equal size and digest.
bool operator==(const FileRecord& a, const FileRecord& b);

}  // namespace dupsieve
