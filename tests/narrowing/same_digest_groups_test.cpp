#include "narrowing/same_digest_groups.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "catalogue/compare_mode.h"
#include "catalogue/file_record.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/records.h"

namespace dupsieve {
namespace {

using testing::FakeFileSystem;
using testing::FakeNode;
using testing::recordAt;

constexpr std::uint64_t k4GiB = std::uint64_t{1} << 32;

// Path, size and digest of one group member, which is what a group shows.
using Member = std::tuple<std::string, std::uint64_t, std::uint32_t>;
using Members = std::vector<Member>;

// Holds a fake tree and the candidate list taken from it, and runs the stage
// under BySizeAndDigest (putting the start value back afterwards).
class SameDigestGroups : public ::testing::Test {
 protected:
  SameDigestGroups() { compareMode = CompareMode::BySizeAndDigest; }
  ~SameDigestGroups() override { compareMode = CompareMode::BySizeAndDigest; }

  // Adds a file to the tree and to the candidates, listed with the length
  // of its contents. Candidates must be added in ascending size, then path.
  void candidate(const std::string& path, const std::string& contents) {
    const FakeNode& added = fake.addFile(path, contents);
    files.push_back(recordAt(path, contents.size(), DirectoryId{7, 1}, added.inode));
  }

  // Every path read, in sorted order: the order of reading is the stage's
  // own business.
  std::vector<std::string> sortedReadPaths() const {
    std::vector<std::string> paths = fake.readPaths;
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  std::vector<Members> group(std::int32_t blockSize = 512) {
    std::vector<Group> groups;
    groupSameDigestFiles(files, blockSize, groups, fake);
    std::vector<Members> result;
    for (const Group& found : groups) {
      Members members;
      for (const FileRecord& record : found) {
        members.emplace_back(record.path(), record.size, record.digest);
      }
      result.push_back(members);
    }
    return result;
  }

  FakeFileSystem fake;
  std::vector<FileRecord> files;
};

TEST_F(SameDigestGroups, NoCandidatesReadNothingAndGiveNoGroup) {
  fake.addFile("photos/a.jpg", "abc");
  fake.addFile("photos/b.jpg", "abc");
  EXPECT_TRUE(group().empty());
  EXPECT_TRUE(fake.readPaths.empty());
  EXPECT_EQ(fake.bytesRead, 0u);
}

TEST_F(SameDigestGroups, TwoCandidatesGroupOnlyWhenTheirDigestsAgree) {
  candidate("p1", "\x01");
  candidate("p2", "\x01");
  EXPECT_EQ(group(), (std::vector<Members>{{{"p1", 1, 1}, {"p2", 1, 1}}}));

  files.clear();
  candidate("q1", "\x01");
  candidate("q2", "\x10");
  EXPECT_TRUE(group().empty());
}

TEST_F(SameDigestGroups, OnlyEqualDigestsOfOneSizeShareAGroup) {
  candidate("p1", "\x09");
  candidate("p2", "\x04");
  candidate("p3", "\x09");
  EXPECT_EQ(group(), (std::vector<Members>{{{"p1", 1, 9}, {"p3", 1, 9}}}));
}

TEST_F(SameDigestGroups, GroupsFollowAscendingSizeThenDigestMembersAscendingPath) {
  // (size, digest): p1 (7, 16), p2 (5, 32), p3 (5, 32), p4 (7, 16),
  // p5 (5, 1), p6 (5, 1); byte 4 falls in lane 0 again, so it is kept 0.
  const std::string five1("\x01\0\0\0\0", 5);
  const std::string five32("\x20\0\0\0\0", 5);
  const std::string seven16("\x10\0\0\0\0\0\0", 7);
  candidate("p2", five32);
  candidate("p3", five32);
  candidate("p5", five1);
  candidate("p6", five1);
  candidate("p1", seven16);
  candidate("p4", seven16);
  EXPECT_EQ(group(), (std::vector<Members>{{{"p5", 5, 1}, {"p6", 5, 1}},
                                           {{"p2", 5, 32}, {"p3", 5, 32}},
                                           {{"p1", 7, 16}, {"p4", 7, 16}}}));
}

TEST_F(SameDigestGroups, AllCandidatesOfOneSizeAndDigestFormOneGroup) {
  candidate("a", "xyz");
  candidate("b", "xyz");
  candidate("c", "zyx");  // same bytes, other lanes: 0x78797a vs 0x7a7978
  candidate("d", "xyz");
  candidate("e", "xyz");
  EXPECT_EQ(group(), (std::vector<Members>{
                         {{"a", 3, 0x7a7978}, {"b", 3, 0x7a7978}, {"d", 3, 0x7a7978},
                          {"e", 3, 0x7a7978}}}));
}

TEST_F(SameDigestGroups, LongRunsOfOneSizeAndDigestKeepTheirPathOrder) {
  // More equal records than a sort puts in order by insertion, two digests
  // interleaved: only a stable sort keeps each group in path order.
  Members zyx;
  Members xyz;
  for (int i = 0; i < 60; ++i) {
    const std::string path = (i < 10 ? "p0" : "p") + std::to_string(i);
    const bool first = i % 3 == 0;
    candidate(path, first ? "xyz" : "zyx");
    (first ? xyz : zyx).emplace_back(path, 3, first ? 0x7a7978 : 0x78797a);
  }
  ASSERT_EQ(xyz.size(), 20u);
  EXPECT_EQ(group(), (std::vector<Members>{zyx, xyz}));
}

TEST_F(SameDigestGroups, DigestsWithTheTopBitSetComeAfterAllOthersOfTheirSize) {
  const std::string top("\x00\x00\x00\x80", 4);   // 0x80000000
  const std::string below("\xff\xff\xff\x7f", 4);  // 0x7fffffff
  const std::string one("\x01\x00\x00\x00", 4);    // 1
  candidate("a", top);
  candidate("b", below);
  candidate("c", top);
  candidate("d", one);
  candidate("e", below);
  candidate("f", one);
  EXPECT_EQ(group(), (std::vector<Members>{{{"d", 4, 1}, {"f", 4, 1}},
                                           {{"b", 4, 0x7fffffff}, {"e", 4, 0x7fffffff}},
                                           {{"a", 4, 0x80000000}, {"c", 4, 0x80000000}}}));
}

TEST_F(SameDigestGroups, OnlyTheFirstBlockSizeBytesOfEachCandidateAreRead) {
  // Not candidates: never opened.
  fake.addFile("other/x", "abcdefghijklmnopqrst");
  fake.addFile("other/y", "abcdefghijklmnopqrst");
  // Exactly one block long, differing in their last byte.
  candidate("c", "abcdefgZ");
  candidate("d", "abcdefgY");
  // Differ only after byte 8: one group at block size 8.
  candidate("a", "abcdefghXXXXXXXXXXXX");
  candidate("b", "abcdefghYYYYYYYYYYYY");

  // Sum of "abcdefgh": lanes 0x61+0x65, 0x62+0x66, 0x63+0x67, 0x64+0x68.
  EXPECT_EQ(group(8), (std::vector<Members>{{{"a", 20, 0xcccac8c6}, {"b", 20, 0xcccac8c6}}}));
  EXPECT_EQ(sortedReadPaths(), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(fake.bytesRead, 8u + 8u + 8u + 8u);
}

TEST_F(SameDigestGroups, UnreadableCandidatesTakePartWithDigestZero) {
  candidate("a", "\x80\x80\x80\x80\x80\x80\x80\x80");  // every lane sums to 256
  candidate("b", "unread!!");
  fake.node("b").failOpen = true;
  candidate("c", "12345678");
  candidate("d", "gone....");
  fake.node("d").failOpen = true;
  EXPECT_EQ(group(), (std::vector<Members>{{{"a", 8, 0}, {"b", 8, 0}, {"d", 8, 0}}}));
  // A sum of 0 is not cached, yet the stage reads each file once.
  EXPECT_EQ(sortedReadPaths(), (std::vector<std::string>{"a", "c"}));
}

TEST_F(SameDigestGroups, BlockSizeZeroPutsEachSizeIntoOneGroupWithoutReading) {
  candidate("a", "ab");
  candidate("b", "cd");
  candidate("c", "xyz");
  candidate("d", "uvw");
  EXPECT_EQ(group(0), (std::vector<Members>{{{"a", 2, 0}, {"b", 2, 0}},
                                            {{"c", 3, 0}, {"d", 3, 0}}}));
  EXPECT_EQ(fake.bytesRead, 0u);
}

TEST_F(SameDigestGroups, SizesBeyond4GiBAreNotConfusedWithSmallOnes) {
  // All three samples sum to 1, but only the two large files share a size.
  candidate("small", "\x01");
  files.push_back(recordAt("big1", k4GiB + 1, DirectoryId{7, 1},
                           fake.addSizedFile("big1", k4GiB + 1, "\x01").inode));
  files.push_back(recordAt("big2", k4GiB + 1, DirectoryId{7, 1},
                           fake.addSizedFile("big2", k4GiB + 1, "\x01").inode));
  EXPECT_EQ(group(), (std::vector<Members>{{{"big1", k4GiB + 1, 1}, {"big2", k4GiB + 1, 1}}}));
}

}  // namespace
}  // namespace dupsieve

namespace dupsieve {
namespace {

// Reads through a fake tree, but serves every batch backwards, handing its
// files' bytes out one byte at a time in turn, as a reader with many reads
// in flight may.
class BackwardsReader final : public FileSystem {
 public:
  explicit BackwardsReader(FakeFileSystem& fake) : fake_(&fake) {}

  std::unique_ptr<DirectoryListing> findFirst(const std::string& pattern) override {
    return fake_->findFirst(pattern);
  }
  bool readLeadingBytes(const std::string& path, std::uint64_t length, ByteSink& sink) override {
    return fake_->readLeadingBytes(path, length, sink);
  }
  Removal removeListedFile(const std::string& path, const ListedFile& listed) override {
    return fake_->removeListedFile(path, listed);
  }
  OpenedContent openListedFile(const std::string& path, const ListedFile& listed) override {
    return fake_->openListedFile(path, listed);
  }

  void readHeads(std::span<HeadRead> reads) override {
    ++batches;
    std::vector<std::string> heads(reads.size());
    std::vector<bool> read(reads.size());
    for (std::size_t i = 0; i < reads.size(); ++i) {
      Collect collect(heads[i]);
      const std::string path = std::string(reads[i].directory) + std::string(reads[i].name);
      read[i] = fake_->readLeadingBytes(path, reads[i].length, collect);
    }
    for (std::size_t offset = 0, more = 1; more != 0; ++offset) {
      more = 0;
      for (std::size_t i = reads.size(); i-- > 0;) {
        if (offset >= heads[i].size()) continue;
        const auto byte = static_cast<unsigned char>(heads[i][offset]);
        reads[i].sink->consume(std::span<const unsigned char>(&byte, 1));
        ++more;
      }
    }
    for (std::size_t i = reads.size(); i-- > 0;) reads[i].read = read[i];
  }

  int batches = 0;

 private:
  class Collect final : public ByteSink {
   public:
    explicit Collect(std::string& into) : into_(&into) {}
    void consume(std::span<const unsigned char> bytes) override {
      into_->append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }

   private:
    std::string* into_;
  };

  FakeFileSystem* fake_;
};

class RecordingProgress final : public ProgressObserver {
 public:
  void candidatesRead(std::size_t done, std::size_t total) override {
    heard.emplace_back(done, total);
  }
  std::vector<std::pair<std::size_t, std::size_t>> heard;
};

TEST_F(SameDigestGroups, GroupsDoNotDependOnTheOrderTheHeadsArriveIn) {
  // More candidates than one batch holds, in a few sizes, in several
  // directories, some unreadable, with digests that collide and differ.
  for (std::size_t i = 0; i < 2500; ++i) {
    const std::size_t size = 1 + i % 7;
    std::string contents(size, static_cast<char>('a' + (i * 31 / 7) % 5));
    contents[0] = static_cast<char>(i % 3);
    std::string path = "d";
    path.append(std::to_string(i % 9)).append("/f").append(std::to_string(10000 + i));
    FakeNode& added = fake.addFile(path, contents);
    added.failOpen = i % 97 == 0;
    files.push_back(recordAt(path, size, fake.holderOf(path), added.inode));
  }
  // In ascending size, then path, as the stage before leaves them.
  compareMode = CompareMode::ByPath;
  std::stable_sort(files.begin(), files.end());
  compareMode = CompareMode::BySizeAndDigest;
  std::stable_sort(files.begin(), files.end());
  std::vector<FileRecord> copy = files;

  RecordingProgress inOrder;
  std::vector<Group> expected;
  groupSameDigestFiles(files, 512, expected, fake, inOrder);

  BackwardsReader backwards(fake);
  RecordingProgress reversed;
  std::vector<Group> groups;
  groupSameDigestFiles(copy, 512, groups, backwards, reversed);

  EXPECT_GT(backwards.batches, 1);
  ASSERT_EQ(groups.size(), expected.size());
  EXPECT_GT(groups.size(), 10u);
  for (std::size_t g = 0; g < groups.size(); ++g) {
    ASSERT_EQ(groups[g].size(), expected[g].size()) << "group " << g;
    for (std::size_t m = 0; m < groups[g].size(); ++m) {
      EXPECT_EQ(groups[g][m].path(), expected[g][m].path());
      EXPECT_EQ(groups[g][m].digest, expected[g][m].digest) << groups[g][m].path();
      EXPECT_EQ(groups[g][m].size, expected[g][m].size);
    }
  }
  // Told after each batch, but exactly the steps a read one by one tells.
  EXPECT_EQ(reversed.heard, inOrder.heard);
  ASSERT_FALSE(inOrder.heard.empty());
  EXPECT_EQ(inOrder.heard.front(), std::make_pair(std::size_t{64}, std::size_t{2500}));
  EXPECT_EQ(inOrder.heard.back(), std::make_pair(std::size_t{2496}, std::size_t{2500}));
}

}  // namespace
}  // namespace dupsieve
