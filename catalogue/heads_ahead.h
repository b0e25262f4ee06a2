#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "catalogue/file_record.h"
#include "platform/file_system.h"

namespace dupsieve {

// How many heads a batch handed over during the walk holds: enough for the
// reader to keep many reads in flight, few enough that the first batch
// leaves early and that each one costs little memory.
inline constexpr std::size_t kAheadBatch = 256;

// Reads heads while the walk is still going. A file becomes a candidate of
// the digest stage the moment a second file of its size is listed, so the
// heads of every file listed after the first of its size are handed to the
// reader in batches, which it may read beside the walk. Every batch owns copies of the paths
// it reads: the file list and its directories' name buffers grow, and so
// move, while the walk appends. The results are taken back on the walk's
// own thread, after each batch is handed over and at the end, in the order
// the batches were made, and written into the records by index: a record
// whose head was read gets its digest and the mark that spares it a second
// read. Which heads are read ahead depends on the listing alone, never on
// timing. A file that later proves a repeated registration may have been
// read for nothing, which is harmless.
class HeadsAhead {
 public:
  HeadsAhead(std::vector<FileRecord>& files, std::int32_t blockSize, HeadReader& reader)
      : files_(&files), blockSize_(blockSize), reader_(&reader) {}

  // The walk has just appended the record at `index` of the file list.
  void recorded(std::size_t index);
  // The walk is over: reads what is still held back and takes every result.
  void finish();

 private:
  bool firstOfItsSize(std::uint64_t size);
  void handOver();
  void take(OwnedHeads& batch);

  std::vector<FileRecord>* files_;
  std::int32_t blockSize_;
  HeadReader* reader_;
  // The sizes listed at least once: the small ones, which most files have,
  // as bits, at a fraction of what a set would hold for them.
  std::vector<bool> smallSizesSeen_;
  std::unordered_set<std::uint64_t> largeSizesSeen_;
  std::vector<std::size_t> waiting_;  // indices of records not yet handed over
};

}  // namespace dupsieve
