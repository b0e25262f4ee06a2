#include "catalogue/sample_digest.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "catalogue/file_record.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/records.h"

namespace dupsieve {
namespace {

using testing::FakeFileSystem;
using testing::recordAt;

constexpr std::uint64_t k2GiB = std::uint64_t{1} << 31;
constexpr std::uint64_t k4GiB = std::uint64_t{1} << 32;

std::string everyByteInOrder() {
  std::string bytes;
  for (int value = 0; value < 256; ++value) bytes.push_back(static_cast<char>(value));
  return bytes;
}

struct WorkedValue {
  const char* name;
  std::string bytes;
  std::uint32_t digest;
};

// Worked out by hand: byte k goes to lane k mod 4, each lane modulo 256,
// lane 0 in the lowest byte of the result.
std::vector<WorkedValue> workedValues() {
  return {
      {"abc", "abc", 0x00636261},
      {"61 62 63 64", "abcd", 0x64636261},
      {"61 62 63 64 65", "abcde", 0x646362C6},  // lane 0: 0x61 + 0x65
      {"256 x 01", std::string(256, '\x01'), 0x40404040},  // 64 per lane
      {"512 x FF", std::string(512, '\xFF'), 0x80808080},  // 128 x 255 = 0x7F80
      {"8 x 80", std::string(8, '\x80'), 0},               // 256 per lane
      // Lane j sums 64 j + 4 (0 + 1 + ... + 63) = 64 j + 8064, 8064 = 0x1F80.
      {"00..FF", everyByteInOrder(), 0x4000C080},
      {"empty", "", 0},
  };
}

std::span<const unsigned char> bytesOf(const std::string& text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

class SampleDigestTest : public ::testing::Test {
 protected:
  // A record for a file the fake holds, listed with the length of its contents.
  FileRecord fileWith(const std::string& path, const std::string& contents) {
    fake.addFile(path, contents);
    return recordAt(path, contents.size());
  }

  FakeFileSystem fake;
};

TEST(LaneSum, WorkedValuesWhateverTheByteStreamIsCutInto) {
  for (const WorkedValue& worked : workedValues()) {
    SCOPED_TRACE(worked.name);
    const auto bytes = bytesOf(worked.bytes);

    LaneSum whole;
    whole.add(bytes);
    EXPECT_EQ(whole.value(), worked.digest);

    LaneSum byteByByte;
    for (std::size_t k = 0; k < bytes.size(); ++k) byteByByte.add(bytes.subspan(k, 1));
    EXPECT_EQ(byteByByte.value(), worked.digest);

    // Every cut into two pieces, and three pieces whose first piece leaves
    // the second starting in each lane.
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
      LaneSum twoPieces;
      twoPieces.add(bytes.first(cut));
      twoPieces.add(bytes.subspan(cut));
      EXPECT_EQ(twoPieces.value(), worked.digest) << "cut at " << cut;
    }
    for (std::size_t first = 0; first < 4 && first <= bytes.size(); ++first) {
      for (std::size_t second = 0; first + second <= bytes.size() && second < 9; ++second) {
        LaneSum threePieces;
        threePieces.add(bytes.first(first));
        threePieces.add(bytes.subspan(first, second));
        threePieces.add(bytes.subspan(first + second));
        EXPECT_EQ(threePieces.value(), worked.digest) << first << " + " << second;
      }
    }
  }
}

TEST(LaneSum, KeepsEachByteInTheLaneOfItsOffsetAcrossAdds) {
  LaneSum sum;
  EXPECT_EQ(sum.value(), 0u);
  const std::string first = "\x01";
  const std::string second("\x00\x00\x00\x00\x02", 5);  // offsets 1..5: 0x02 lands in lane 1
  sum.add(bytesOf(first));
  sum.add(bytesOf(second));
  EXPECT_EQ(sum.value(), 0x00000201u);
  sum.add({});
  EXPECT_EQ(sum.value(), 0x00000201u);
  const std::string third = "\x10\x20";  // offsets 6 and 7: lanes 2 and 3
  sum.add(bytesOf(third));
  EXPECT_EQ(sum.value(), 0x20100201u);
}

TEST(LaneSum, LongStreamWrapsEachLaneModulo256) {
  // 1,000,003 bytes of FF: lanes 0..2 get 250,001 bytes, lane 3 gets
  // 250,000. 250,001 = 976 x 256 + 145, so the lane holds -145 = 0x6F;
  // 250,000 leaves -144 = 0x70.
  const std::string bytes(1'000'003, '\xFF');
  LaneSum sum;
  sum.add(bytesOf(bytes));
  EXPECT_EQ(sum.value(), 0x706F6F6Fu);
}

TEST(SampleLength, SmallerOfSizeAndUnsignedBlockSizeBelow2GiB) {
  struct Case {
    std::uint64_t size;
    std::int32_t blockSize;
    std::uint64_t length;
  };
  const Case cases[] = {
      {1000, 512, 512},
      {1000, 2000, 1000},
      {512, 512, 512},
      {3, 3, 3},
      {3, 2, 2},
      {0, 512, 0},
      {1000, 0, 0},
      {3, -1, 3},  // negative: 2^32 - 1, the whole file
      {1000, INT32_MIN, 1000},
      {k2GiB - 1, -1, k2GiB - 1},
      {k2GiB, -1, 0},  // a sample of 2 GiB or more is no sample
      {k2GiB, INT32_MIN, 0},
      {k2GiB, INT32_MAX, k2GiB - 1},
      {k4GiB + 1, -1, 0},
      {k4GiB + 1, 512, 512},  // a size above 4 GiB is not cut to its low bits
      {k4GiB, 512, 512},
      {std::uint64_t{1} << 40, 1000, 1000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sampleLength(c.size, c.blockSize), c.length)
        << "size " << c.size << ", block size " << c.blockSize;
  }
}

TEST_F(SampleDigestTest, WorkedValuesThroughFilesForEveryChunkSize) {
  for (const std::size_t chunkSize : {std::size_t{3}, std::size_t{1}, std::size_t{2},
                                      std::size_t{4}, std::size_t{5}, std::size_t{7},
                                      std::size_t{1000}}) {
    for (const WorkedValue& worked : workedValues()) {
      SCOPED_TRACE(std::string(worked.name) + ", chunk size " + std::to_string(chunkSize));
      FakeFileSystem chunked;
      chunked.chunkSize = chunkSize;
      chunked.addFile("dir/file", worked.bytes);
      FileRecord file = recordAt("dir/file", worked.bytes.size());
      EXPECT_EQ(sampleDigest(file, 512, chunked), worked.digest);
      EXPECT_EQ(file.digest, worked.digest);
      EXPECT_EQ(chunked.bytesRead, worked.bytes.size());
    }
  }
}

TEST_F(SampleDigestTest, CoversTheSmallerOfFileSizeAndBlockSize) {
  // 512 bytes of 01 then 488 bytes of 02. First 512: 128 per lane = 0x80.
  // All 1000: 0x80 + 122 x 2 = 372 = 0x174 per lane.
  const std::string contents = std::string(512, '\x01') + std::string(488, '\x02');
  struct Case {
    std::int32_t blockSize;
    std::uint32_t digest;
    std::uint64_t bytesRead;
  };
  const Case cases[] = {
      {512, 0x80808080, 512},    // smaller than the file
      {2000, 0x74747474, 1000},  // bigger
      {1000, 0x74747474, 1000},  // equal
      {-1, 0x74747474, 1000},    // negative: the whole file
      {INT32_MIN, 0x74747474, 1000},
      {4, 0x01010101, 4},
      {5, 0x01010102, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.blockSize);
    FakeFileSystem own;
    own.addFile("f", contents);
    FileRecord file = recordAt("f", contents.size());
    EXPECT_EQ(sampleDigest(file, c.blockSize, own), c.digest);
    EXPECT_EQ(own.bytesRead, c.bytesRead);
    EXPECT_EQ(own.readPaths, std::vector<std::string>{"f"});
  }
}

TEST_F(SampleDigestTest, ThreeBytesGiveTheSameDigestForEveryBlockSizeOfThreeOrMore) {
  for (const std::int32_t blockSize : {3, 4, 512, 2000, INT32_MAX, -1, INT32_MIN}) {
    SCOPED_TRACE(blockSize);
    FileRecord file = fileWith("abc-" + std::to_string(blockSize), "abc");
    EXPECT_EQ(sampleDigest(file, blockSize, fake), 0x00636261u);
  }
}

TEST_F(SampleDigestTest, BlockSizeZeroOpensNothing) {
  FileRecord readable = fileWith("readable", "abc");
  FileRecord missing = recordAt("missing", 3);
  EXPECT_EQ(sampleDigest(readable, 0, fake), 0u);
  EXPECT_EQ(sampleDigest(missing, 0, fake), 0u);
  EXPECT_TRUE(fake.readPaths.empty());
  EXPECT_EQ(readable.digest, 0u);

  // Nothing was cached: a later request with a real block size computes it.
  EXPECT_EQ(sampleDigest(readable, 256, fake), 0x00636261u);
}

TEST_F(SampleDigestTest, EmptyFileOpensNothing) {
  FileRecord empty = fileWith("empty", "");
  EXPECT_EQ(sampleDigest(empty, 512, fake), 0u);
  EXPECT_EQ(sampleDigest(empty, -1, fake), 0u);
  EXPECT_TRUE(fake.readPaths.empty());
}

TEST_F(SampleDigestTest, SampleOf2GiBOrMoreGivesZeroWithoutOpening) {
  fake.addSizedFile("two-gib", k2GiB, "abc");
  fake.addSizedFile("past-4-gib", k4GiB + 1, "abc");
  FileRecord twoGiB = recordAt("two-gib", k2GiB);
  FileRecord past4GiB = recordAt("past-4-gib", k4GiB + 1);
  EXPECT_EQ(sampleDigest(twoGiB, -1, fake), 0u);
  EXPECT_EQ(sampleDigest(twoGiB, INT32_MIN, fake), 0u);
  EXPECT_EQ(sampleDigest(past4GiB, -1, fake), 0u);
  EXPECT_TRUE(fake.readPaths.empty());

  // With an ordinary block size the same files are sampled; their three
  // bytes arrive and the rest count as zero.
  EXPECT_EQ(sampleDigest(past4GiB, 512, fake), 0x00636261u);
  EXPECT_EQ(fake.readPaths, std::vector<std::string>{"past-4-gib"});
}

TEST_F(SampleDigestTest, NonZeroDigestIsCachedWhateverTheNextBlockSize) {
  FileRecord file = fileWith("f", "abcde");
  EXPECT_EQ(sampleDigest(file, 512, fake), 0x646362C6u);
  EXPECT_EQ(sampleDigest(file, 3, fake), 0x646362C6u);
  EXPECT_EQ(sampleDigest(file, 0, fake), 0x646362C6u);
  EXPECT_EQ(sampleDigest(file, 256, fake), 0x646362C6u);
  EXPECT_EQ(fake.readPaths.size(), 1u);
  EXPECT_EQ(fake.bytesRead, 5u);
}

TEST_F(SampleDigestTest, DigestOfZeroIsComputedAgainAtEveryRequest) {
  FileRecord file = fileWith("zero-sum", std::string(512, '\x80'));
  EXPECT_EQ(sampleDigest(file, 512, fake), 0u);
  EXPECT_EQ(file.digest, 0u);
  EXPECT_EQ(sampleDigest(file, 256, fake), 0u);
  EXPECT_EQ(sampleDigest(file, 8, fake), 0u);
  EXPECT_EQ(fake.readPaths.size(), 3u);
  EXPECT_EQ(fake.bytesRead, 512u + 256u + 8u);

  // The next non-zero result is then cached.
  EXPECT_EQ(sampleDigest(file, 1, fake), 0x00000080u);
  EXPECT_EQ(sampleDigest(file, 512, fake), 0x00000080u);
  EXPECT_EQ(fake.readPaths.size(), 4u);
}

TEST_F(SampleDigestTest, FailedOpenGivesZeroAndCachesNothing) {
  FileRecord file = fileWith("locked", "abc");
  fake.node("locked").failOpen = true;
  EXPECT_EQ(sampleDigest(file, 512, fake), 0u);
  EXPECT_EQ(file.digest, 0u);
  EXPECT_TRUE(fake.readPaths.empty());

  fake.node("locked").failOpen = false;
  EXPECT_EQ(sampleDigest(file, 512, fake), 0x00636261u);
  EXPECT_EQ(fake.readPaths, std::vector<std::string>{"locked"});
}

TEST_F(SampleDigestTest, DirectoryOrVanishedPathGivesZero) {
  fake.addDirectory("photos");
  FileRecord directory = recordAt("photos", 10);
  FileRecord vanished = recordAt("photos/gone.jpg", 10);
  EXPECT_EQ(sampleDigest(directory, 512, fake), 0u);
  EXPECT_EQ(sampleDigest(vanished, 512, fake), 0u);
  EXPECT_EQ(directory.digest, 0u);
  EXPECT_EQ(vanished.digest, 0u);
  EXPECT_TRUE(fake.readPaths.empty());
}

TEST_F(SampleDigestTest, FileChangedSinceTheWalkIsSampledByItsRecordedSize) {
  // Shrunk: listed at 8 bytes, holding 3. What arrives is summed, the rest
  // counts as zero.
  fake.addSizedFile("shrunk", 8, "abc");
  FileRecord shrunk = recordAt("shrunk", 8);
  EXPECT_EQ(sampleDigest(shrunk, 512, fake), 0x00636261u);
  EXPECT_EQ(shrunk.digest, 0x00636261u);
  EXPECT_EQ(fake.bytesRead, 3u);

  // Grown: listed at 3 bytes, holding 5. Bytes past the recorded size are
  // never read.
  fake.addSizedFile("grown", 3, "abcde");
  FileRecord grown = recordAt("grown", 3);
  EXPECT_EQ(sampleDigest(grown, 512, fake), 0x00636261u);
  EXPECT_EQ(fake.bytesRead, 3u + 3u);
}

}  // namespace
}  // namespace dupsieve
