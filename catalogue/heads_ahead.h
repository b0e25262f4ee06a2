#pragma once

#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <unordered_map>
#include <vector>

#include "catalogue/file_record.h"
#include "platform/file_system.h"

namespace dupsieve {

// How many heads a batch handed over during the walk holds: enough for the
// reader to keep many reads in flight, few enough that the first batch
// leaves early and that each one costs little memory. Measured on a warm
// tree of a million small files, all candidates, where the reader falls
// behind the walk: 64 took 7% less time than 256 or 1,024, with io_uring
// and without, and 32 as long as 256; on 100,000 files all were alike.
inline constexpr std::size_t kAheadBatch = 64;

// Reads heads while the walk is still going. A file becomes a candidate of
// the digest stage the moment a second file of its size is listed: its
// head, and that of the first of its size, are then handed to the reader in
// batches, which it may read beside the walk. Every batch owns copies of
// the paths it reads: the file list and its directories' name buffers grow,
// and so move, while the walk appends. The results are taken back on the
// walk's own thread, after each batch is handed over and at the end, and
// written into the records by index: a record whose head was read gets its
// digest and the mark that spares it a second read. A head not read here
// (the reader was behind, the file would not open) is read by the digest
// stage as before, so which reader read it shows in no output: a digest is
// the sum of the file's own bytes whoever reads them. A file that later
// proves a repeated registration may have been read for nothing, which is
// harmless.
class HeadsAhead {
 public:
  HeadsAhead(std::vector<FileRecord>& files, std::int32_t blockSize, HeadReader& reader)
      : files_(&files), blockSize_(blockSize), reader_(&reader) {}

  // The walk has just appended the record at `index` of the file list.
  void recorded(std::size_t index);
  // The walk is over: reads what is still held back, takes every result,
  // and marks each file that no other file of its size was listed with.
  void finish();

 private:
  void handOver();
  void take(OwnedHeads& batch);

  std::vector<FileRecord>* files_;
  std::int32_t blockSize_;
  HeadReader* reader_;
  // Where the first file of `size` is kept (see firsts below); null for a
  // size first seen once kMostLargeSizes large ones are held.
  std::uint32_t* firstOf(std::uint64_t size);

  // Per size listed, 1 + the index of its first file until a second one
  // comes, then kShared; 0 for none yet. The small sizes, which most files
  // have, by size in a table that stays in the processor's cache; the
  // others in a map of bounded size, its nodes taken from one pool.
  std::vector<std::uint32_t> smallFirsts_;
  std::pmr::monotonic_buffer_resource pool_;
  std::pmr::unordered_map<std::uint64_t, std::uint32_t> largeFirsts_{&pool_};
  std::vector<std::size_t> waiting_;  // indices of records not yet handed over
  std::vector<std::size_t> firsts_;   // the first of their size, listed earlier
};

}  // namespace dupsieve
