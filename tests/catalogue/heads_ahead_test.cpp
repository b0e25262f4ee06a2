#include "catalogue/heads_ahead.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "catalogue/directory_walker.h"
#include "catalogue/sample_digest.h"
#include "narrowing/same_digest_groups.h"
#include "narrowing/same_size_candidates.h"
#include "tests/support/fake_file_system.h"

namespace dupsieve {
namespace {

using testing::FakeFileSystem;

constexpr std::size_t kSharing = kAheadBatch + 44;  // files of t/a, all of one size

// t/a: kSharing files of 4 bytes, each its own; t/b: one of a size no other
// has, and five zero bytes whose twin is in t/z, the directory listed last.
class HeadsAheadTest : public ::testing::TestWithParam<std::int32_t> {
 protected:
  HeadsAheadTest() {
    for (std::size_t i = 0; i < kSharing; ++i) fake.addFile(name(i), name(i).substr(5) + "!");
    fake.addFile("t/b/one", "only one");
    fake.addFile("t/b/zero", std::string(5, '\0'));
    fake.addFile("t/z/zero", std::string(5, '\0'));
    fake.beforeListing = [this](const std::string&) { readsBeforeListing.push_back(fake.readPaths.size()); };
  }
  static std::string name(std::size_t i) { return "t/a/f" + std::to_string(1000 + i).substr(1); }

  void walk(std::int32_t blockSize, std::vector<FileRecord>& into, bool readAhead) {
    HeadsAhead ahead(into, blockSize, fake);
    const DirectoryWalker walker(into, false, true, fake, noProgress(), readAhead ? &ahead : nullptr);
    walker("t");
    ahead.finish();
  }

  // The number of candidates, then each group's members' paths and digests.
  static std::vector<std::string> groupsOf(std::vector<FileRecord>& candidates,
                                           std::int32_t blockSize, FakeFileSystem& reader) {
    selectSameSizeCandidates(candidates);
    std::vector<std::string> shown{std::to_string(candidates.size()) + " candidates"};
    std::vector<Group> groups;
    groupSameDigestFiles(candidates, blockSize, groups, reader);
    for (const Group& group : groups) {
      for (const FileRecord& member : group) shown.push_back(member.path() + " " + std::to_string(member.digest));
      shown.emplace_back();
    }
    return shown;
  }

  FakeFileSystem fake;
  std::vector<FileRecord> files;
  std::vector<std::size_t> readsBeforeListing;
};

TEST_P(HeadsAheadTest, FilesOfASizeListedTwiceAreReadDuringTheWalkOnce) {
  const std::int32_t blockSize = GetParam();
  const bool reads = sampleLength(4, blockSize) != 0;
  walk(blockSize, files, true);
  ASSERT_EQ(files.size(), kSharing + 3);
  // A whole batch went out while t/z was still to be listed.
  ASSERT_FALSE(readsBeforeListing.empty());
  EXPECT_EQ(readsBeforeListing.back() >= kAheadBatch, reads);
  // Every file that shares its size, the first of each size too.
  EXPECT_EQ(fake.readPaths.size(), reads ? kSharing + 2 : 0u);
  for (const FileRecord& record : files) {
    const std::string path = record.path();
    EXPECT_EQ(record.headReadAhead(), reads && path != "t/b/one") << path;
    EXPECT_EQ(record.aloneInItsSize(), reads && path == "t/b/one") << path;
    LaneSum sum;
    if (record.headReadAhead()) sum.add(std::span(reinterpret_cast<const unsigned char*>(
        fake.node(record.path()).contents.data()), sampleLength(record.size, blockSize)));
    EXPECT_EQ(record.digest, sum.value()) << record.path();
  }

  // The digest stage reads nothing again (zero digests included), and
  // groups as it does when nothing is read ahead.
  const std::vector<std::string> groups = groupsOf(files, blockSize, fake);
  EXPECT_EQ(fake.readPaths.size(), reads ? kSharing + 2 : 0u);
  const std::set<std::string> distinct(fake.readPaths.begin(), fake.readPaths.end());
  EXPECT_EQ(distinct.size(), fake.readPaths.size());
  std::vector<FileRecord> plain;
  walk(blockSize, plain, false);
  EXPECT_EQ(groups, groupsOf(plain, blockSize, fake));
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, HeadsAheadTest, ::testing::Values(512, 2, 0, -1));

}  // namespace
}  // namespace dupsieve
