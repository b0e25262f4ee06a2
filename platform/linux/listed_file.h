#pragma once

// Whether what a path names now is still what a listing reported: the one
// rule by which a removal, a head read (plain calls or ring) and an opening
// for the whole contents tell the listed file or directory from another that
// has taken its name since.

#include "platform/file_system.h"
#include "platform/linux/batch/batch_io.h"

namespace dupsieve::linux_io {

enum class ListedMatch {
  Same,
  Changed,    // another file (device or inode), or the listed one at another size
  Directory,  // a directory now
  NotAFile,   // a link, FIFO, device or the like now
};

// How `now`, read without following a final link, compares with the file a
// listing reported as `listed`: the same only as a regular file with the
// listed device, inode and size. Nothing is taken as unknown: a listing
// here always tells all three.
ListedMatch matchListed(const EntryMetadata& now, const ListedFile& listed);

inline bool isListedFile(const EntryMetadata& now, const ListedFile& listed) {
  return matchListed(now, listed) == ListedMatch::Same;
}

// Device and inode of an open descriptor; false when they cannot be had.
bool identify(int fd, DirectoryId& id);

// Whether the directory open as `fd` is the one a listing reported as
// `listed` (same device and inode), however it was reached.
bool isListedDirectory(int fd, const DirectoryId& listed);

}  // namespace dupsieve::linux_io
