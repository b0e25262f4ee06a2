#pragma once

#include <cstddef>
#include <span>

#include "platform/file_system.h"
#include "platform/linux/batch/batch_io.h"
#include "platform/linux/system_calls.h"

namespace dupsieve::linux_io {

// Reads a batch of heads through `engine`. Each directory is opened once
// for the files of it that come one after another, and only if it is still
// the directory they were listed in (same device and inode); each file is
// opened relative to it, never through a final link, and read only if it is
// still the listed file (isListedFile). So a directory swapped
// for a link, or a file swapped for another, since the walk is never read.
// At most `directoriesPerRound` directories are held open at a time.
void readAnchoredHeads(std::span<HeadRead> reads, BatchIo& engine, SystemCalls& calls,
                       std::size_t directoriesPerRound);

}  // namespace dupsieve::linux_io
