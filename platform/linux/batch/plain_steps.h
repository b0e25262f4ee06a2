#pragma once

// The steps of a batch done with one plain system call each. The plain
// engine is made of them, the ring redoes a step with them when the ring
// could not do it (so that both ways give the same results), and the single
// calls of the file system are made of them too.

#include <fcntl.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/linux/batch/batch_io.h"

namespace dupsieve::linux_io {

// The answers of a sandbox or an older kernel to a call or flag it does not
// offer, as opposed to the answers about the file asked for. A newer call so
// refused gives way to its older fallback for the rest of the run.
bool isRefusal(int error);

// What a status call tells of an entry, as the engines and the listings
// describe it.
EntryMetadata metadataOf(const struct stat& info);
EntryMetadata metadataOf(const struct statx& info);

// What every lookup asks for, by plain call or through the ring.
inline constexpr int kLookUpFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;
inline constexpr unsigned kLookUpMask =
    STATX_TYPE | STATX_SIZE | STATX_INO | STATX_MTIME | STATX_BTIME;

// The entry's metadata without following a final link or triggering an
// automount: through statx while `extendedStatus` holds, through fstatat
// once statx has been refused (which clears it). nullopt on failure; errno
// says why.
std::optional<EntryMetadata> lookUpEntry(int directoryFd, const char* name, bool& extendedStatus,
                                         int extraFlags = 0);

// The same of an open descriptor, as a check of what was opened needs it.
std::optional<EntryMetadata> statusOfOpen(int fd, bool& extendedStatus);

// The flags a head is opened with: read-only, non-blocking (a FIFO or device
// cannot hold the run), never through a final link, no controlling terminal;
// leaving the access time alone while `noAccessTime` holds.
int readFlags(bool noAccessTime);

// Whether an open with readFlags(noAccessTime) that failed with `error` was
// refused the access-time flag, which only a file's owner may ask for. Asking
// again for every file of another owner would double the opens, so the first
// refusal clears `noAccessTime` for the caller's run; the open is then
// tried again without it, as openForReading does: -1 when it cannot be
// opened, errno saying why.
bool refusedNoAccessTime(int error, bool& noAccessTime);
int openForReading(int directoryFd, const char* name, bool& noAccessTime);

// What the open file is, when it is a regular file and, if `request` names
// a listed file, that very file; nullopt otherwise. Looked at as
// statusOfOpen does.
std::optional<EntryMetadata> openedHead(int fd, const HeadRequest& request, bool& extendedStatus);

// The chunk length for heads of at most `length` bytes: whole pages, and
// never more than 64 KiB, whatever length a request asks for.
std::size_t chunkFor(std::uint64_t length);

// Reads from `offset` on, chunk by chunk through `buffer`, handing each
// chunk to `sink` under `index`, until `remaining` bytes are handed, a read
// returns fewer bytes than asked (the end of the file) or a read fails.
void readRest(int fd, std::uint64_t offset, std::uint64_t remaining,
              std::span<unsigned char> buffer, std::size_t index, HeadSink& sink);

void closeFd(int fd);

}  // namespace dupsieve::linux_io
