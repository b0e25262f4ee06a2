#include "catalogue/directory_walker.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/file_record.h"
#include "tests/support/fake_file_system.h"

namespace dupsieve {
namespace {

using testing::FakeFileSystem;
using testing::FakeNode;

using Found = std::vector<std::pair<std::string, std::uint64_t>>;  // path, size

constexpr std::uint64_t k4GiB = std::uint64_t{1} << 32;

class DirectoryWalkerTest : public ::testing::Test {
 protected:
  // Walks each start pattern in turn with one walker and returns what it
  // appended.
  std::vector<FileRecord> walk(const std::vector<std::string>& starts, bool includeEmpty,
                               bool recurse) {
    std::vector<FileRecord> files;
    const DirectoryWalker walker(files, includeEmpty, recurse, fake);
    for (const std::string& start : starts) walker(start);
    return files;
  }

  Found found(const std::vector<std::string>& starts, bool includeEmpty, bool recurse) {
    Found result;
    for (const FileRecord& file : walk(starts, includeEmpty, recurse)) {
      result.emplace_back(file.path(), file.size);
    }
    return result;
  }

  void addWithAttributes(const std::string& path, std::uint32_t attributes,
                         std::string contents = {}) {
    FakeNode node;
    node.attributes = attributes;
    node.size = contents.size();
    node.contents = std::move(contents);
    fake.addEntry(path, std::move(node));
  }

  // photos/
  //   .profile        "p"
  //   visible.txt     "vv"
  //   hidden.txt      hidden, "hhh"
  //   sys.bin         system, "ssss"
  //   empty.txt       ""
  //   .secret/        hidden directory: inner.txt "iiiii", ghost.txt hidden "g"
  //   sysdir/         system directory: s.txt "ssssss"
  //   2003/           plain directory: b.jpg "bbbbbbb"
  void buildMixedTree() {
    fake.addFile("photos/.profile", "p");
    fake.addFile("photos/visible.txt", "vv");
    addWithAttributes("photos/hidden.txt", kAttributeHidden, "hhh");
    addWithAttributes("photos/sys.bin", kAttributeSystem, "ssss");
    fake.addFile("photos/empty.txt", "");
    addWithAttributes("photos/.secret", kAttributeDirectory | kAttributeHidden);
    fake.addFile("photos/.secret/inner.txt", "iiiii");
    addWithAttributes("photos/.secret/ghost.txt", kAttributeHidden, "g");
    addWithAttributes("photos/sysdir", kAttributeDirectory | kAttributeSystem);
    fake.addFile("photos/sysdir/s.txt", "ssssss");
    fake.addFile("photos/2003/b.jpg", "bbbbbbb");
  }

  FakeFileSystem fake;
};

TEST_F(DirectoryWalkerTest, RecursionIsDepthFirstInListingOrder) {
  fake.addFile("photos/2003/b.jpg", "bb");
  fake.addFile("photos/2003/deep/c.jpg", "ccc");
  fake.addFile("photos/2003/d.jpg", "dddd");
  fake.addFile("photos/a.jpg", "a");
  fake.addFile("photos/2004/e.jpg", "eeeee");

  const std::vector<FileRecord> files = walk({"photos"}, false, true);
  Found result;
  for (const FileRecord& file : files) {
    result.emplace_back(file.path(), file.size);
    EXPECT_EQ(file.digest, 0u) << file.path();
  }
  EXPECT_EQ(result, (Found{{"photos/2003/b.jpg", 2},
                           {"photos/2003/deep/c.jpg", 3},
                           {"photos/2003/d.jpg", 4},
                           {"photos/a.jpg", 1},
                           {"photos/2004/e.jpg", 5}}));
  // The start pattern as given, then one listing per descended directory,
  // each asked for before the next entry of its parent.
  EXPECT_EQ(fake.listedPatterns,
            (std::vector<std::string>{"photos", "photos/*.*", "photos/2003/*.*",
                                      "photos/2003/deep/*.*", "photos/2004/*.*"}));
}

TEST_F(DirectoryWalkerTest, RecursionRecordsVisibleFilesAndDescendsHiddenAndSystemDirectories) {
  buildMixedTree();
  EXPECT_EQ(found({"photos"}, false, true), (Found{{"photos/.profile", 1},
                                                   {"photos/visible.txt", 2},
                                                   {"photos/.secret/inner.txt", 5},
                                                   {"photos/sysdir/s.txt", 6},
                                                   {"photos/2003/b.jpg", 7}}));
  EXPECT_EQ(found({"photos"}, true, true), (Found{{"photos/.profile", 1},
                                                  {"photos/visible.txt", 2},
                                                  {"photos/empty.txt", 0},
                                                  {"photos/.secret/inner.txt", 5},
                                                  {"photos/sysdir/s.txt", 6},
                                                  {"photos/2003/b.jpg", 7}}));
}

TEST_F(DirectoryWalkerTest, ListingPatternWithoutRecursionTreatsDirectoriesLikeFiles) {
  buildMixedTree();
  // Subdirectories are listed with size 0; hidden and system ones never count.
  EXPECT_EQ(found({"photos/*.*"}, false, false),
            (Found{{"photos/.profile", 1}, {"photos/visible.txt", 2}}));
  EXPECT_EQ(found({"photos/*.*"}, true, false), (Found{{"photos/.profile", 1},
                                                       {"photos/visible.txt", 2},
                                                       {"photos/empty.txt", 0},
                                                       {"photos/2003", 0}}));
  for (const std::string& pattern : fake.listedPatterns) EXPECT_EQ(pattern, "photos/*.*");
}

TEST_F(DirectoryWalkerTest, DirectoryNamedWithoutRecursionIsNotListed) {
  fake.addFile("photos/a.jpg", "a");
  EXPECT_EQ(found({"photos"}, false, false), Found{});
  EXPECT_EQ(found({"photos"}, true, false), (Found{{"photos", 0}}));
  EXPECT_EQ(fake.listedPatterns, (std::vector<std::string>{"photos", "photos"}));
  // A file named without wildcards is that one entry.
  EXPECT_EQ(found({"photos/a.jpg"}, false, false), (Found{{"photos/a.jpg", 1}}));
  EXPECT_EQ(found({"photos/a.jpg"}, false, true), (Found{{"photos/a.jpg", 1}}));
}

TEST_F(DirectoryWalkerTest, DotEntriesAreNeverRecordedNorDescended) {
  fake.addFile("photos/a.jpg", "a");
  fake.addFile("photos/...", "x");  // a name of dots only is passed over too
  fake.addFile("photos/sub/b.jpg", "b");
  for (const bool includeEmpty : {false, true}) {
    SCOPED_TRACE(includeEmpty);
    EXPECT_EQ(found({"photos/*.*"}, includeEmpty, true),
              (Found{{"photos/a.jpg", 1}, {"photos/sub/b.jpg", 1}}));
  }
  EXPECT_EQ(found({"photos/*.*"}, true, false), (Found{{"photos/a.jpg", 1}, {"photos/sub", 0}}));
  EXPECT_EQ(fake.listedPatterns,
            (std::vector<std::string>{"photos/*.*", "photos/sub/*.*", "photos/*.*",
                                      "photos/sub/*.*", "photos/*.*"}));
}

TEST_F(DirectoryWalkerTest, ZeroSizeFilesOnlyWithIncludeEmpty) {
  fake.addFile("d/empty", "");
  fake.addFile("d/full", "f");
  fake.addFile("d/sub/empty-too", "");
  EXPECT_EQ(found({"d"}, false, true), (Found{{"d/full", 1}}));
  EXPECT_EQ(found({"d"}, true, true),
            (Found{{"d/empty", 0}, {"d/full", 1}, {"d/sub/empty-too", 0}}));
}

TEST_F(DirectoryWalkerTest, SizesAbove4GiBAreKeptWhole) {
  fake.addSizedFile("big/exact", k4GiB);
  fake.addSizedFile("big/plus-one", k4GiB + 1);
  fake.addSizedFile("big/huge", (std::uint64_t{1} << 40) + 7);
  // An exact multiple of 4 GiB is not empty.
  const Found expected{{"big/exact", k4GiB},
                       {"big/plus-one", k4GiB + 1},
                       {"big/huge", (std::uint64_t{1} << 40) + 7}};
  EXPECT_EQ(found({"big"}, false, true), expected);
  EXPECT_EQ(found({"big/*.*"}, false, false), expected);
}

TEST_F(DirectoryWalkerTest, MissingStartGivesNothingAndTheNextStartStillWalks) {
  fake.addFile("photos/a.jpg", "a");
  for (const bool recurse : {false, true}) {
    SCOPED_TRACE(recurse);
    EXPECT_EQ(found({"nowhere", "nowhere/*.*", "photos/nothing*", "photos/*.*"}, true, recurse),
              (Found{{"photos/a.jpg", 1}}));
  }
}

TEST_F(DirectoryWalkerTest, SameStartWalkedTwiceGivesEveryRecordTwice) {
  fake.addFile("photos/a.jpg", "a");
  fake.addFile("photos/sub/b.jpg", "bb");
  EXPECT_EQ(found({"photos", "photos"}, false, true), (Found{{"photos/a.jpg", 1},
                                                             {"photos/sub/b.jpg", 2},
                                                             {"photos/a.jpg", 1},
                                                             {"photos/sub/b.jpg", 2}}));

  // A copy of the walker appends to the same list.
  std::vector<FileRecord> files;
  const DirectoryWalker walker(files, false, true, fake);
  const DirectoryWalker copy = walker;
  walker("photos/sub");
  copy("photos/sub");
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].path(), "photos/sub/b.jpg");
  EXPECT_EQ(files[1].path(), "photos/sub/b.jpg");
}

TEST_F(DirectoryWalkerTest, CurrentDirectoryIsWalkedOnlyWithRecursion) {
  fake.addFile("a", "1");
  fake.addFile("sub/b", "22");
  fake.addFile("sub/deeper/c", "333");
  fake.addFile("z", "4444");

  EXPECT_EQ(found({"."}, false, true),
            (Found{{"./a", 1}, {"./sub/b", 2}, {"./sub/deeper/c", 3}, {"./z", 4}}));
  EXPECT_EQ(fake.listedPatterns,
            (std::vector<std::string>{"./*.*", "./sub/*.*", "./sub/deeper/*.*"}));

  // Without recursion "." names the current directory itself, which is
  // dropped like any entry named ".".
  EXPECT_EQ(found({"."}, false, false), Found{});
  EXPECT_EQ(found({"."}, true, false), Found{});

  // The same holds for "." as the last component of a longer start.
  EXPECT_EQ(found({"sub/."}, false, true), (Found{{"sub/./b", 2}, {"sub/./deeper/c", 3}}));
  EXPECT_EQ(found({"sub/."}, true, false), Found{});
}

TEST_F(DirectoryWalkerTest, ParentDirectoryIsWalkedOnlyWithRecursion) {
  fake.addFile("photos/2003/b.jpg", "bb");
  fake.addFile("photos/a.jpg", "a");

  EXPECT_EQ(found({"photos/2003/.."}, false, true),
            (Found{{"photos/2003/../2003/b.jpg", 2}, {"photos/2003/../a.jpg", 1}}));
  EXPECT_EQ(fake.listedPatterns,
            (std::vector<std::string>{"photos/2003/../*.*", "photos/2003/../2003/*.*"}));
  EXPECT_EQ(found({"photos/2003/.."}, true, false), Found{});

  // In the fake the root is its own parent, so a bare ".." lists the root.
  EXPECT_EQ(found({".."}, false, true),
            (Found{{"../photos/2003/b.jpg", 2}, {"../photos/a.jpg", 1}}));
  EXPECT_EQ(found({".."}, true, false), Found{});
}

TEST_F(DirectoryWalkerTest, WildcardStartWithRecursionDescendsEveryMatchingDirectory) {
  fake.addFile("photos/2003/b.jpg", "b");
  fake.addFile("photos/2003/deep/other.png", "oo");  // below the top level everything counts
  fake.addFile("photos/misc/c.jpg", "ccc");
  fake.addFile("photos/2004/d.jpg", "dddd");
  fake.addFile("photos/200x.jpg", "eeeee");
  fake.addFile("photos/2010.jpg", "ffffff");

  EXPECT_EQ(found({"photos/200*"}, false, true), (Found{{"photos/2003/b.jpg", 1},
                                                        {"photos/2003/deep/other.png", 2},
                                                        {"photos/2004/d.jpg", 4},
                                                        {"photos/200x.jpg", 5}}));
  EXPECT_EQ(found({"photos/200?"}, true, false), (Found{{"photos/2003", 0}, {"photos/2004", 0}}));
}

TEST_F(DirectoryWalkerTest, ADirectoryReplacedBetweenItsListingAndItsDescentIsNotEntered) {
  // t/dX is listed as a directory; right before the walk descends into it,
  // it is exchanged with a link to a directory outside the tree, or with a
  // directory from outside. Neither is what the listing reported.
  for (const std::string replacement : {"t/lX", "w/moved"}) {
    FakeFileSystem tree;
    tree.addFile("t/copy", "V");
    tree.addDirectory("t/dX");
    tree.addFile("t/dY/inside", "in");
    tree.addFile("w/outside/victim", "V");
    tree.addLink("t/lX", "../w/outside");
    tree.addFile("w/moved/victim", "V");
    tree.beforeListing = [&](const std::string& pattern) {
      if (pattern == "t/dX/*.*") tree.swap("t/dX", replacement);
    };

    std::vector<FileRecord> files;
    DirectoryWalker(files, false, true, tree)("t");

    Found result;
    for (const FileRecord& file : files) result.emplace_back(file.path(), file.size);
    EXPECT_EQ(result, (Found{{"t/copy", 1}, {"t/dY/inside", 2}})) << replacement;
  }
}

TEST_F(DirectoryWalkerTest, ADirectoryThatCannotBeOpenedIsPassedOverAndTheWalkGoesOn) {
  fake.addFile("d/a", "a");
  fake.addFile("d/locked/b", "bb");
  fake.addFile("d/open/c", "ccc");
  fake.addFile("d/z", "zzzz");
  fake.node("d/locked").failOpen = true;
  EXPECT_EQ(found({"d"}, false, true), (Found{{"d/a", 1}, {"d/open/c", 3}, {"d/z", 4}}));
}

TEST_F(DirectoryWalkerTest, RecordsCarryTheirListingsDirectoryAndTheirInode) {
  fake.addFile("photos/a.jpg", "a");
  fake.addFile("photos/sub/b.jpg", "b");
  fake.addFile("other/c.jpg", "c");

  const std::vector<FileRecord> files =
      walk({"photos/*.*", "./photos/*.*", "other/*.*", "photos/a.jpg"}, false, true);
  ASSERT_EQ(files.size(), 6u);
  const FileRecord& a = files[0];
  const FileRecord& b = files[1];
  const FileRecord& aAgain = files[2];
  const FileRecord& c = files[4];
  const FileRecord& aNamed = files[5];
  EXPECT_EQ(aAgain.path(), "./photos/a.jpg");
  EXPECT_EQ(c.path(), "other/c.jpg");

  // Two spellings of one directory give one identity; other directories differ.
  EXPECT_EQ(a.directory(), aAgain.directory());
  EXPECT_EQ(a.directory(), aNamed.directory());
  EXPECT_EQ(a.directory().inode, fake.node("photos").inode);
  EXPECT_EQ(b.directory().inode, fake.node("photos/sub").inode);
  EXPECT_EQ(c.directory().inode, fake.node("other").inode);
  EXPECT_FALSE(a.directory() == b.directory());
  EXPECT_FALSE(a.directory() == c.directory());
  EXPECT_FALSE(b.directory() == c.directory());

  EXPECT_EQ(a.inode, fake.node("photos/a.jpg").inode);
  EXPECT_EQ(aAgain.inode, a.inode);
  EXPECT_EQ(aNamed.inode, a.inode);
  EXPECT_EQ(b.inode, fake.node("photos/sub/b.jpg").inode);
  EXPECT_EQ(c.inode, fake.node("other/c.jpg").inode);
  EXPECT_NE(a.inode, b.inode);
}

}  // namespace
}  // namespace dupsieve
