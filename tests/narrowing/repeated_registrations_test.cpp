#include "narrowing/repeated_registrations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "catalogue/compare_mode.h"
#include "catalogue/file_record.h"
#include "narrowing/same_size_candidates.h"
#include "tests/support/records.h"

namespace dupsieve {
namespace {

using testing::recordAt;

// The stage runs under ByPath; the start value is put back afterwards so no
// other test sees this one's choice.
class ByPathScope {
 public:
  ByPathScope() { compareMode = CompareMode::ByPath; }
  ~ByPathScope() { compareMode = CompareMode::BySizeAndDigest; }
  ByPathScope(const ByPathScope&) = delete;
  ByPathScope& operator=(const ByPathScope&) = delete;
};

constexpr DirectoryId kPhotos{1, 10};
constexpr DirectoryId kDocs{1, 20};
constexpr DirectoryId kMusic{1, 30};
constexpr DirectoryId kCurrent{1, 40};
constexpr DirectoryId kOtherDevice{2, 10};  // same inode number as kPhotos
constexpr DirectoryId kUpper{1, 50};

// Everything a caller can observe of a kept record.
using Kept = std::tuple<std::string, std::uint64_t, std::uint64_t, std::uint64_t, std::uint64_t>;

Kept kept(std::string path, std::uint64_t size, DirectoryId directory, std::uint64_t inode) {
  return {std::move(path), size, directory.device, directory.inode, inode};
}

std::vector<Kept> afterRemoval(std::vector<FileRecord> files) {
  const ByPathScope byPath;
  removeRepeatedRegistrations(files);
  std::vector<Kept> result;
  for (const FileRecord& record : files) {
    result.push_back(kept(record.path(), record.size, record.directory(), record.inode));
  }
  return result;
}

TEST(RepeatedRegistrations, EmptyAndSingleRecordListsAreLeftAsTheyAre) {
  EXPECT_TRUE(afterRemoval({}).empty());
  EXPECT_EQ(afterRemoval({recordAt("photos/a.jpg", 7, kPhotos, 100)}),
            (std::vector<Kept>{kept("photos/a.jpg", 7, kPhotos, 100)}));
}

TEST(RepeatedRegistrations, ListWithoutRepeatsEndsInByteOrderOfPaths) {
  // '.' (46) < '/' (47) < 'X' (88) < 'a' (97) < 'x' (120); letter case
  // makes different names, so both A.jpg and a.jpg stay.
  const std::vector<FileRecord> files = {
      recordAt("x/f", 1, kDocs, 1),          recordAt("photos/a.jpg", 2, kPhotos, 2),
      recordAt("a/b", 3, kMusic, 3),         recordAt("X/f", 4, kUpper, 4),
      recordAt("photos/A.jpg", 5, kPhotos, 5), recordAt("a.b", 6, kCurrent, 6),
      recordAt("a/b/c", 7, kOtherDevice, 7)};
  EXPECT_EQ(afterRemoval(files),
            (std::vector<Kept>{kept("X/f", 4, kUpper, 4), kept("a.b", 6, kCurrent, 6),
                               kept("a/b", 3, kMusic, 3), kept("a/b/c", 7, kOtherDevice, 7),
                               kept("photos/A.jpg", 5, kPhotos, 5),
                               kept("photos/a.jpg", 2, kPhotos, 2), kept("x/f", 1, kDocs, 1)}));
}

TEST(RepeatedRegistrations, EqualPathsKeepTheFirstRegistrationWithItsSize) {
  // One directory walked three times; the file b.jpg changed size between
  // walks, so each registration carries another size.
  const std::vector<FileRecord> threeWalks = {
      recordAt("photos/b.jpg", 10, kPhotos, 101), recordAt("photos/a.jpg", 20, kPhotos, 100),
      recordAt("photos/b.jpg", 11, kPhotos, 101), recordAt("photos/a.jpg", 20, kPhotos, 100),
      recordAt("photos/b.jpg", 12, kPhotos, 101), recordAt("photos/a.jpg", 20, kPhotos, 100)};
  EXPECT_EQ(afterRemoval(threeWalks),
            (std::vector<Kept>{kept("photos/a.jpg", 20, kPhotos, 100),
                               kept("photos/b.jpg", 10, kPhotos, 101)}));

  // The directory was replaced between two walks: the path still repeats.
  const std::vector<FileRecord> replaced = {recordAt("photos/a.jpg", 5, kPhotos, 100),
                                            recordAt("photos/a.jpg", 6, kMusic, 300)};
  EXPECT_EQ(afterRemoval(replaced),
            (std::vector<Kept>{kept("photos/a.jpg", 5, kPhotos, 100)}));
}

TEST(RepeatedRegistrations, TwoSpellingsOfOneDirectoryKeepTheFirstPathInByteOrder) {
  // "./photos/a.jpg" precedes "photos/a.jpg" ('.' < 'p'), whichever was
  // registered first, and it keeps its own size.
  EXPECT_EQ(afterRemoval({recordAt("photos/a.jpg", 8, kPhotos, 100),
                          recordAt("./photos/a.jpg", 9, kPhotos, 100)}),
            (std::vector<Kept>{kept("./photos/a.jpg", 9, kPhotos, 100)}));
  EXPECT_EQ(afterRemoval({recordAt("./photos/a.jpg", 9, kPhotos, 100),
                          recordAt("photos/a.jpg", 8, kPhotos, 100)}),
            (std::vector<Kept>{kept("./photos/a.jpg", 9, kPhotos, 100)}));

  // A bare name in the current directory and the same name behind "./".
  EXPECT_EQ(afterRemoval({recordAt("top", 1, kCurrent, 7), recordAt("./top", 1, kCurrent, 7)}),
            (std::vector<Kept>{kept("./top", 1, kCurrent, 7)}));

  // Names that differ only in letter case are different entries.
  EXPECT_EQ(afterRemoval({recordAt("photos/A.jpg", 1, kPhotos, 1),
                          recordAt("./photos/a.jpg", 1, kPhotos, 2)}),
            (std::vector<Kept>{kept("./photos/a.jpg", 1, kPhotos, 2),
                               kept("photos/A.jpg", 1, kPhotos, 1)}));
}

TEST(RepeatedRegistrations, HardLinksAndSameNamesInOtherDirectoriesStay) {
  // Three names of one inode: two in one directory, one in another.
  EXPECT_EQ(afterRemoval({recordAt("photos/b.jpg", 4, kPhotos, 500),
                          recordAt("docs/a.jpg", 4, kDocs, 500),
                          recordAt("photos/a.jpg", 4, kPhotos, 500)}),
            (std::vector<Kept>{kept("docs/a.jpg", 4, kDocs, 500),
                               kept("photos/a.jpg", 4, kPhotos, 500),
                               kept("photos/b.jpg", 4, kPhotos, 500)}));

  // One name in different directories, even where the inode numbers agree
  // but the devices do not, and even when one directory is reached by two
  // spellings.
  EXPECT_EQ(afterRemoval({recordAt("photos/a.jpg", 3, kPhotos, 100),
                          recordAt("mnt/a.jpg", 3, kOtherDevice, 100),
                          recordAt("./photos/c.jpg", 3, kPhotos, 102),
                          recordAt("docs/a.jpg", 3, kDocs, 200)}),
            (std::vector<Kept>{kept("./photos/c.jpg", 3, kPhotos, 102),
                               kept("docs/a.jpg", 3, kDocs, 200),
                               kept("mnt/a.jpg", 3, kOtherDevice, 100),
                               kept("photos/a.jpg", 3, kPhotos, 100)}));
}

TEST(RepeatedRegistrations, UnknownDirectoryIdentitiesNeverMakeTwoPathsOne) {
  // Two directories whose identity could not be read are not taken for one
  // directory; equal paths still repeat.
  const DirectoryId unknown{};
  EXPECT_EQ(afterRemoval({recordAt("y/a", 2, unknown, 0), recordAt("x/a", 1, unknown, 0),
                          recordAt("x/a", 3, unknown, 0), recordAt("./x/a", 4, unknown, 0)}),
            (std::vector<Kept>{kept("./x/a", 4, unknown, 0), kept("x/a", 1, unknown, 0),
                               kept("y/a", 2, unknown, 0)}));
}

TEST(RepeatedRegistrations, MixedDirectoriesSpellingsAndRepeats) {
  // photos is reached as "photos" and "./photos", music as "music" and
  // "/abs/music", the current directory as "" and "./"; docs and mnt only
  // one way, docs also walked twice and holding a hard link pair.
  const std::vector<FileRecord> walkOrder = {
      recordAt("photos/b.jpg", 200, kPhotos, 101),
      recordAt("docs/x.txt", 50, kDocs, 201),
      recordAt("./photos/a.jpg", 100, kPhotos, 100),
      recordAt("music/s.mp3", 300, kMusic, 301),
      recordAt("top", 5, kCurrent, 401),
      recordAt("photos/a.jpg", 100, kPhotos, 100),
      recordAt("docs/a.jpg", 100, kDocs, 202),
      recordAt("./top", 5, kCurrent, 401),
      recordAt("/abs/music/s.mp3", 300, kMusic, 301),
      recordAt("docs/x.txt", 51, kDocs, 201),
      recordAt("photos/c.jpg", 300, kPhotos, 102),
      recordAt("docs/y.txt", 50, kDocs, 201),
      recordAt("mnt/a.jpg", 100, kOtherDevice, 100),
      recordAt("./photos/b.jpg", 200, kPhotos, 101),
  };
  EXPECT_EQ(afterRemoval(walkOrder),
            (std::vector<Kept>{
                kept("./photos/a.jpg", 100, kPhotos, 100),
                kept("./photos/b.jpg", 200, kPhotos, 101),
                kept("./top", 5, kCurrent, 401),
                kept("/abs/music/s.mp3", 300, kMusic, 301),
                kept("docs/a.jpg", 100, kDocs, 202),
                kept("docs/x.txt", 50, kDocs, 201),
                kept("docs/y.txt", 50, kDocs, 201),
                kept("mnt/a.jpg", 100, kOtherDevice, 100),
                kept("photos/c.jpg", 300, kPhotos, 102),
            }));
}

TEST(RepeatedRegistrations, AgreesWithASetBasedReferenceOnRandomLists) {
  // Directories, each reachable under one to three spellings; entries are
  // drawn from a few names so that repeats, spellings and same names in
  // other directories all occur often.
  struct Directory {
    DirectoryId id;
    std::vector<std::string> spellings;
  };
  const std::vector<Directory> directories = {
      {{1, 10}, {"photos/", "./photos/", "/home/u/photos/"}},
      {{1, 11}, {"docs/"}},
      {{2, 10}, {"mnt/", "./mnt/"}},
      {{1, 12}, {"", "./"}},
      {{1, 13}, {"a/b/", "a//b/", "./a/b/"}},
      {{3, 99}, {"deep/x/y/"}},
  };
  const std::vector<std::string> names = {"a", "b.jpg", "B.jpg", "c", ".rc", "z9", "\xc3\xa9t\xc3\xa9"};

  std::mt19937 random(20240611u);
  for (int round = 0; round < 20; ++round) {
    std::vector<FileRecord> files;
    const std::size_t count = 1 + random() % 300;
    for (std::size_t i = 0; i < count; ++i) {
      const Directory& directory = directories[random() % directories.size()];
      const std::string& spelling = directory.spellings[random() % directory.spellings.size()];
      const std::size_t nameIndex = random() % names.size();
      files.push_back(recordAt(spelling + names[nameIndex], random() % 1000, directory.id,
                               directory.id.inode * 100 + nameIndex));
    }

    // Reference: go through the records in path order, earlier
    // registrations first among equal paths, and keep a record unless its
    // path or its (directory, name) was kept already.
    std::vector<std::size_t> order(files.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t l, std::size_t r) {
      return std::make_tuple(files[l].path(), l) < std::make_tuple(files[r].path(), r);
    });
    std::set<std::string> seenPaths;
    std::set<std::tuple<std::uint64_t, std::uint64_t, std::string>> seenEntries;
    std::vector<Kept> expected;
    for (const std::size_t i : order) {
      const FileRecord& record = files[i];
      const std::string name = record.path().substr(record.path().rfind('/') + 1);
      const auto entry = std::make_tuple(record.directory().device, record.directory().inode, name);
      if (seenPaths.contains(record.path()) || seenEntries.contains(entry)) continue;
      seenPaths.insert(record.path());
      seenEntries.insert(entry);
      expected.push_back(kept(record.path(), record.size, record.directory(), record.inode));
    }

    ASSERT_EQ(afterRemoval(files), expected) << "round " << round;
  }
}

TEST(RepeatedRegistrations, FilesTheWalkSawAloneInTheirSizeChangeNothingButTheWork) {
  // The walk's marks (sizes 7, 8 and 9 were listed once each) spare those
  // files the sorts; both stages keep the same files in the same order and
  // count the same. Listed twice, d/ is searched whole: its second listing
  // saw d/a with another size.
  for (const bool listedTwice : {false, true}) {
    const auto d = std::make_shared<ListedDirectory>("d/", kPhotos);
    const auto e = std::make_shared<ListedDirectory>("e/", kDocs);
    std::vector<FileRecord> files{{d, "b", 5, 1, 1}, {d, "a", 7, 2, 1}, {e, "z", 9, 4, 1},
                                  {d, "c", 5, 3, 1}, {e, "y", 5, 5, 1}};
    if (listedTwice) files.emplace_back(std::make_shared<ListedDirectory>("d/", kPhotos), "a", 8, 2, 1);
    std::vector<FileRecord> marked = files;
    for (FileRecord& record : marked) {
      if (record.size != 5) record.markAloneInItsSize();
    }
    std::vector<std::vector<std::string>> seen;
    for (std::vector<FileRecord>* list : {&files, &marked}) {
      const std::size_t found = afterRemoval(*list).size();
      {
        const ByPathScope byPath;
        removeRepeatedRegistrations(*list);
      }
      selectSameSizeCandidates(*list);
      seen.push_back({std::to_string(found), std::to_string(list->size())});
      for (const FileRecord& record : *list) seen.back().push_back(record.path());
    }
    EXPECT_EQ(seen[0], seen[1]) << listedTwice;
    EXPECT_EQ(seen[1], (std::vector<std::string>{"5", "3", "d/b", "d/c", "e/y"}));
  }
}

}  // namespace
}  // namespace dupsieve
