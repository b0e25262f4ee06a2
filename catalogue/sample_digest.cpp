#include "catalogue/sample_digest.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "catalogue/file_record.h"

namespace dupsieve {

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
  // Enough files at once for the reader to keep many reads in flight, few
  // enough that the sums and requests stay small.
  constexpr std::size_t kBatch = 1024;
  std::vector<LaneSum> sums;
  std::vector<HeadRead> reads;
  std::vector<std::pair<FileRecord*, const LaneSum*>> readers;  // whose read, into which sum
  for (std::size_t first = 0; first < records.size(); first += kBatch) {
    const std::size_t end = std::min(records.size(), first + kBatch);
    // Sized first: each read's sink is its own sum, which must stay put.
    sums.assign(end - first, LaneSum{});
    reads.clear();
    readers.clear();
    for (std::size_t i = first; i < end; ++i) {
      FileRecord& record = *records[i];
      // A cached digest or an empty sample needs no read.
      if (record.pendingSampleLength(blockSize) == 0) continue;
      reads.push_back(record.sampleRead(blockSize, sums[i - first]));
      readers.emplace_back(&record, &sums[i - first]);
    }
    if (!reads.empty()) reader.readHeads(reads);
    for (std::size_t k = 0; k < reads.size(); ++k) {
      readers[k].first->cacheDigest(reads[k], readers[k].second->value());
    }
  }
}

std::uint64_t FileRecord::pendingSampleLength(std::int32_t blockSize) const {
  return digest != 0 ? 0 : sampleLength(size, blockSize);
}

HeadRead FileRecord::sampleRead(std::int32_t blockSize, ByteSink& sink) const {
  return HeadRead{directoryPart(), name(), listed(), pendingSampleLength(blockSize), &sink};
}

void FileRecord::cacheDigest(const HeadRead& read, std::uint32_t sum) {
  // Bytes that never arrive (the file shrank, a read failed) count as zero,
  // which is what leaving them out of the sum amounts to.
  if (read.read) digest = sum;
}

std::uint32_t FileRecord::sampleDigest(std::int32_t blockSize, HeadReader& reader) {
  if (digest != 0) return digest;
  LaneSum sum;
  HeadRead read = sampleRead(blockSize, sum);
  // Nothing to sum: the result is 0 whether or not the file opens.
  if (read.length == 0) return 0;
  reader.readHeads(std::span<HeadRead>(&read, 1));
  cacheDigest(read, sum.value());
  return digest;
}

}  // namespace dupsieve
