#pragma once

// The steps of a batch done with one plain system call each. The plain
// engine is made of them, and the ring redoes a step with them when the ring
// could not do it, so that both ways give the same results.

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/linux/batch/batch_io.h"

namespace dupsieve::linux_io {

// What a status call tells of an entry, as the engines and the listings
// describe it.
EntryMetadata metadataOf(const struct stat& info);
EntryMetadata metadataOf(const struct statx& info);

// Chunks are at most this long, whatever length a request asks for.
inline constexpr std::size_t kMaxChunk = std::size_t{64} * 1024;

// The chunk length for heads of at most `length` bytes: whole pages, no
// more than kMaxChunk.
std::size_t chunkFor(std::uint64_t length);

// The entry's metadata without following a final link or triggering an
// automount; nullopt on failure.
std::optional<EntryMetadata> lookUpEntry(int directoryFd, const char* name);

// The flags a head is opened with: read-only, non-blocking (a FIFO or device
// cannot hold the run), never through a final link, no controlling terminal.
int headOpenFlags();

// Opens a head as above, leaving the access time alone while
// `noAccessTime` holds; -1 when it cannot be opened. Only a file's owner may
// ask that, and asking again for every file of another owner would double
// the opens, so the first refusal clears `noAccessTime` for the caller's run.
int openHead(int directoryFd, const char* name, bool& noAccessTime);

// What the open file is, when it is a regular file; nullopt otherwise.
std::optional<EntryMetadata> regularFile(int fd);

// What the open file is, when it is a regular file and the one `request`
// expects; nullopt otherwise.
std::optional<EntryMetadata> expectedFile(int fd, const HeadRequest& request);

// Reads from `offset` on, chunk by chunk through `buffer`, handing each
// chunk to `sink` under `index`, until `remaining` bytes are handed, a read
// returns fewer bytes than asked (the end of the file) or a read fails.
void readRest(int fd, std::uint64_t offset, std::uint64_t remaining,
              std::span<unsigned char> buffer, std::size_t index, HeadSink& sink);

void closeFd(int fd);

}  // namespace dupsieve::linux_io
