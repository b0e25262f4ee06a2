#include "narrowing/same_digest_groups.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "catalogue/compare_mode.h"
#include "catalogue/file_record.h"
#include "tests/support/fake_file_system.h"

namespace dupsieve {
namespace {

using testing::FakeFileSystem;
using testing::FakeNode;

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
    files.emplace_back(path, contents.size(), DirectoryId{7, 1}, added.inode);
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
  files.emplace_back("big1", k4GiB + 1, DirectoryId{7, 1},
                     fake.addSizedFile("big1", k4GiB + 1, "\x01").inode);
  files.emplace_back("big2", k4GiB + 1, DirectoryId{7, 1},
                     fake.addSizedFile("big2", k4GiB + 1, "\x01").inode);
  EXPECT_EQ(group(), (std::vector<Members>{{{"big1", k4GiB + 1, 1}, {"big2", k4GiB + 1, 1}}}));
}

}  // namespace
}  // namespace dupsieve
