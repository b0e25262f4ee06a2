#include "catalogue/sample_digest.h"

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
