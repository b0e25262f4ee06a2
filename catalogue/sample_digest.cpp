#include "catalogue/sample_digest.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "catalogue/file_record.h"

namespace dupsieve {
namespace {

// Bytes that never arrive (the file shrank, a read failed) count as zero,
// which is what leaving them out of the sum amounts to.
void cacheDigest(FileRecord& record, const HeadRead& read, std::uint32_t sum) {
  if (read.read) record.digest = sum;
}

}  // namespace

std::uint64_t sampleLength(std::uint64_t size, std::int32_t blockSize) {
  const std::uint64_t block = static_cast<std::uint32_t>(blockSize);
  const std::uint64_t length = size < block ? size : block;
  return length >= (std::uint64_t{1} << 31) ? 0 : length;
}

void LaneSum::add(std::span<const unsigned char> bytes) {
  std::size_t k = 0;
  // Line up with lane 0 so the main loop can take four lanes at a time.
  for (; k < bytes.size() && (offset_ + k) % 4 != 0; ++k) {
    lanes_[(offset_ + k) % 4] += bytes[k];
  }
  // Lanes are reduced modulo 256 only when read, so they may run past a
  // byte here; unsigned wrap-around keeps the low byte right.
  std::uint32_t l0 = 0, l1 = 0, l2 = 0, l3 = 0;
  for (; k + 4 <= bytes.size(); k += 4) {
    l0 += bytes[k];
    l1 += bytes[k + 1];
    l2 += bytes[k + 2];
    l3 += bytes[k + 3];
  }
  lanes_[0] += l0;
  lanes_[1] += l1;
  lanes_[2] += l2;
  lanes_[3] += l3;
  for (; k < bytes.size(); ++k) lanes_[(offset_ + k) % 4] += bytes[k];
  offset_ += bytes.size();
}

std::uint32_t LaneSum::value() const {
  return (lanes_[0] & 0xFFu) | (lanes_[1] & 0xFFu) << 8 | (lanes_[2] & 0xFFu) << 16 |
         (lanes_[3] & 0xFFu) << 24;
}

void sampleDigests(std::span<FileRecord* const> records, std::int32_t blockSize,
                   HeadReader& reader) {
  std::vector<LaneSum> sums;
  std::vector<HeadRead> reads;
  std::vector<std::pair<FileRecord*, const LaneSum*>> readers;  // whose read, into which sum
  for (std::size_t first = 0; first < records.size(); first += kHeadBatch) {
    const std::size_t end = std::min(records.size(), first + kHeadBatch);
    // Sized first: each read's sink is its own sum, which must stay put.
    sums.assign(end - first, LaneSum{});
    reads.clear();
    readers.clear();
    for (std::size_t i = first; i < end; ++i) {
      FileRecord& record = *records[i];
      // A cached digest or an empty sample needs no read.
      const HeadRead read = sampleRead(record, blockSize, sums[i - first]);
      if (read.length == 0) continue;
      reads.push_back(read);
      readers.emplace_back(&record, &sums[i - first]);
    }
    if (!reads.empty()) reader.readHeads(reads);
    for (std::size_t k = 0; k < reads.size(); ++k) {
      cacheDigest(*readers[k].first, reads[k], readers[k].second->value());
    }
  }
}

HeadRead sampleRead(const FileRecord& record, std::int32_t blockSize, ByteSink& sink) {
  const std::uint64_t length = record.digest != 0 ? 0 : sampleLength(record.size, blockSize);
  return HeadRead{record.directoryPart(), record.name(), record.listed(), length, &sink};
}

std::uint32_t sampleDigest(FileRecord& record, std::int32_t blockSize, HeadReader& reader) {
  if (record.digest != 0) return record.digest;
  LaneSum sum;
  HeadRead read = sampleRead(record, blockSize, sum);
  // Nothing to sum: the result is 0 whether or not the file opens.
  if (read.length == 0) return 0;
  reader.readHeads(std::span<HeadRead>(&read, 1));
  cacheDigest(record, read, sum.value());
  return record.digest;
}

}  // namespace dupsieve
