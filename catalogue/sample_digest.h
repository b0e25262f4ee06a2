#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/file_system.h"

namespace dupsieve {

// How many leading bytes a digest covers: the smaller of the file size and
// the block size taken as unsigned 32-bit (so a negative block size means
// 2^32 plus it). A length of 2^31 or more counts as 0: no byte is read.
std::uint64_t sampleLength(std::uint64_t size, std::int32_t blockSize);

// Sums a byte stream in four byte lanes: byte k goes to lane k mod 4, each
// lane modulo 256, no carry between lanes. The result holds lane 0 in its
// least significant byte and lane 3 in its most significant. As a sink, it
// sums what a read hands it.
class LaneSum final : public ByteSink {
 public:
  void add(std::span<const unsigned char> bytes);
  void consume(std::span<const unsigned char> bytes) override { add(bytes); }
  std::uint32_t value() const;

 private:
  std::uint32_t lanes_[4] = {0, 0, 0, 0};
  std::uint64_t offset_ = 0;  // bytes added so far, for the lane of the next one
};

class FileRecord;

// The record's sample digest over at most `blockSize` leading bytes (a
// negative block size counts as 2^32 plus it). Answered from its `digest`
// when that is non-zero, whatever the block size; otherwise computed and
// cached there.
std::uint32_t sampleDigest(FileRecord& record, std::int32_t blockSize, HeadReader& reader);

// The read that `sampleDigest` makes, handing the bytes to `sink`; its
// length is 0 when the digest is cached or the sample is empty.
HeadRead sampleRead(const FileRecord& record, std::int32_t blockSize, ByteSink& sink);

// How many heads `sampleDigests` asks the reader for at once: enough to
// keep many reads in flight, few enough that sums and requests stay small.
// The digest stage hands its candidates over in batches of this size too,
// so that progress is told after each whole round; no digest depends on
// the two agreeing.
inline constexpr std::size_t kHeadBatch = 1024;

// Does for every record what `sampleDigest` does, reading the files that
// need it in batches, in the order given: afterwards each record's `digest`
// is what `sampleDigest` would have returned. Each digest is the sum of its
// own file's bytes, whatever order the reader serves the batch in.
void sampleDigests(std::span<FileRecord* const> records, std::int32_t blockSize,
                   HeadReader& reader);

}  // namespace dupsieve
