#pragma once

// Whether what a path names now is still what a listing reported: the one
// rule by which a removal, a head read (plain calls or ring) and an opening
// for the whole contents tell the listed file or directory from another that
// has taken its name since.
//
// A file system gives a freed inode number to the next file made, so device
// and inode alone do not tell a file made again from the listed one. What
// does: its birth time, which nothing can set, where the file system keeps
// one; and its modification time, which a rewrite moves (but which whoever
// may write the file can set back). The change time is not compared: it
// moves whenever another name of the file is removed (by this tool too) or
// its mode changes, and the listed file is still the listed file.

#include "platform/file_system.h"
#include "platform/linux/batch/batch_io.h"
#include "platform/linux/system_calls.h"

namespace dupsieve::linux_io {

enum class ListedMatch {
  Same,
  Changed,    // another file (device, inode or birth), or the listed one rewritten
  Directory,  // a directory now
  NotAFile,   // a link, FIFO, device or the like now
};

// How `now`, read without following a final link, compares with the file a
// listing reported as `listed`: the same only as a regular file with the
// listed device, inode, size and modification time, and the listed birth
// time where both tell one. A listing here always tells the rest.
ListedMatch matchListed(const EntryMetadata& now, const ListedFile& listed);

inline bool isListedFile(const EntryMetadata& now, const ListedFile& listed) {
  return matchListed(now, listed) == ListedMatch::Same;
}

// Device, inode and birth time of an open descriptor; false when they cannot
// be had.
bool identify(SystemCalls& calls, int fd, DirectoryId& id);

// Whether the directory open as `fd` is the one a listing reported as
// `listed` (same device and inode, and birth time where both tell one),
// however it was reached. Not its modification time: that moves with every
// entry made or removed in it, our own removals included.
bool isListedDirectory(SystemCalls& calls, int fd, const DirectoryId& listed);

}  // namespace dupsieve::linux_io
