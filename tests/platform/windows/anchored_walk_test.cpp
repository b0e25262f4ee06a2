// The Windows file system raced on real trees: directories swapped for links
// or other directories before a descent or a deletion, files replaced at the
// same size, deletions the system refuses. Wine cannot make a junction, so
// its links are links of the host system, which it opens through rather than
// as themselves: there, the file index alone tells the swap.
#include "platform/real_file_system.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/windows/system_path.h"
#include "tests/support/listings.h"
#include "tests/support/temp_dir.h"
#include "tests/support/windows_fixtures_win32.h"

namespace dupsieve {
namespace {

using windows::systemPath;

using testing::listedFile;
using testing::TempDir;

bool rename(const std::string& from, const std::string& to) {
  return ::MoveFileExW(systemPath(from).c_str(), systemPath(to).c_str(), 0) != 0;
}

// The listing of `pattern`, positioned on the entry `name`; null if absent.
std::unique_ptr<DirectoryListing> listedOn(RealFileSystem& fs, const std::string& pattern,
                                           const std::string& name) {
  std::unique_ptr<DirectoryListing> listing = fs.findFirst(pattern);
  while (listing && listing->entry().name != name) {
    if (!listing->next()) return nullptr;
  }
  return listing;
}

std::map<std::string, ListedFile> filesIn(std::unique_ptr<DirectoryListing> listing) {
  std::map<std::string, ListedFile> files;
  if (!listing) return files;
  do {
    files[listing->entry().name] = listedFile(*listing);
  } while (listing->next());
  return files;
}

std::vector<std::string> namesIn(std::unique_ptr<DirectoryListing> listing) {
  std::vector<std::string> names;
  if (!listing) return names;
  do {
    if (listing->entry().name != "." && listing->entry().name != "..") {
      names.push_back(listing->entry().name);
    }
  } while (listing->next());
  return names;
}

TEST(AnchoredWalkOnWindows, EveryListedFileCarriesItsVolumeAndIndex) {
  const TempDir tmp;
  tmp.write("t/a", "abc");
  tmp.write("t/b", "abc");
  ASSERT_TRUE(::CreateHardLinkW(systemPath(tmp / "t/second-a").c_str(),
                                systemPath(tmp / "t/a").c_str(), nullptr));
  RealFileSystem fs;

  // Read through the directory's handle, matched by the system, and below
  // a directory that the walk descends: the same identities each way.
  const std::map<std::string, ListedFile> listings[] = {
      filesIn(fs.findFirst(tmp / "t/*.*")), filesIn(fs.findFirst(tmp / "t/*a")),
      filesIn(listedOn(fs, tmp / "*.*", "t")->openSubdirectory())};
  const ListedFile a = listings[0].at("a");
  EXPECT_NE(a.inode, 0u);
  EXPECT_NE(a.directory, DirectoryId{});
  EXPECT_EQ(a.device, a.directory.device);
  EXPECT_NE(listings[0].at("b").inode, a.inode);
  for (const std::map<std::string, ListedFile>& files : listings) {
    for (const std::string name : {"a", "second-a"}) {
      ASSERT_EQ(files.count(name), 1u) << name;
      const ListedFile& file = files.at(name);
      EXPECT_EQ(file.inode, a.inode) << name;
      EXPECT_EQ(file.device, a.device) << name;
      EXPECT_EQ(file.directory, a.directory) << name;
    }
  }
}

TEST(AnchoredWalkOnWindows, ADirectorySwappedAfterItsListingIsNeverEntered) {
  // t/dX holds "inside" when listed; before the descent it is moved away and
  // a link to a directory outside t, or another directory, takes its name.
  for (const std::string pattern : {"t/*.*", "t/d?"}) {
    for (const std::string replacement : {"", "link", "directory"}) {
      const std::string what = pattern + ", " + (replacement.empty() ? "kept" : replacement);
      const TempDir tmp;
      tmp.write("t/dX/inside", "in");
      tmp.write("w/outside/victim", "V");
      tmp.write("w/moved/victim", "V");
      RealFileSystem fs;
      std::unique_ptr<DirectoryListing> listing = listedOn(fs, tmp / pattern, "dX");
      ASSERT_NE(listing, nullptr) << what;

      if (!replacement.empty()) {
        ASSERT_TRUE(rename(tmp / "t/dX", tmp / "w/dX")) << what;
      }
      if (replacement == "link") {
        ASSERT_TRUE(testing::makeDirectoryLink(tmp / "w/outside", tmp / "t/dX")) << what;
      } else if (replacement == "directory") {
        ASSERT_TRUE(rename(tmp / "w/moved", tmp / "t/dX")) << what;
      }

      const std::vector<std::string> names = namesIn(listing->openSubdirectory());
      EXPECT_EQ(names, replacement.empty() ? std::vector<std::string>{"inside"}
                                           : std::vector<std::string>{})
          << what;
      if (replacement == "link") testing::removeDirectoryLink(tmp / "t/dX");
    }
  }
}

TEST(AnchoredWalkOnWindows, NothingOutsideIsDeletedThroughADirectorySwappedForALink) {
  // The files listed as t/dX/f and t/dX/g have second names outside the
  // tree, so the file that the swapped path names afterwards is the very
  // file listed: only the directory's identity tells the two places apart.
  const TempDir tmp;
  RealFileSystem fs;
  std::map<std::string, ListedFile> listed;
  for (const std::string name : {"f", "g"}) {
    tmp.write("t/dX/" + name, "V");
    tmp.makeDirectory("w/outside");
    ASSERT_TRUE(::CreateHardLinkW(systemPath(tmp / ("w/outside/" + name)).c_str(),
                                  systemPath(tmp / ("t/dX/" + name)).c_str(), nullptr));
    const std::unique_ptr<DirectoryListing> listing = listedOn(fs, tmp / "t/dX/*.*", name);
    ASSERT_NE(listing, nullptr);
    listed[name] = listedFile(*listing);
  }
  // Where it was listed, a file is removed there and only there; its name
  // outside keeps its data.
  EXPECT_EQ(fs.removeListedFile(tmp / "t/dX/g", listed["g"]), Removal::RemovedName);
  EXPECT_FALSE(tmp.exists("t/dX/g"));
  EXPECT_EQ(tmp.read("w/outside/g"), "V");

  ASSERT_TRUE(rename(tmp / "t/dX", tmp / "t/away"));
  ASSERT_TRUE(testing::makeDirectoryLink(tmp / "w/outside", tmp / "t/dX"));
  EXPECT_EQ(fs.removeListedFile(tmp / "t/dX/f", listed["f"]), Removal::DirectoryReplaced);
  EXPECT_EQ(tmp.read("w/outside/f"), "V");
  testing::removeDirectoryLink(tmp / "t/dX");
}

TEST(AnchoredWalkOnWindows, RemovingAReadOnlyOrHeldFileSaysWhyItDidNotHappen) {
  const TempDir tmp;
  RealFileSystem fs;
  const auto [listedNow, remove] = testing::relativeRemovals(fs, tmp);

  // Deletions the system refuses: a read-only file, and one that another
  // program has open without letting others delete it.
  tmp.write("d/read-only", "abc");
  ListedFile listed = listedNow("d/read-only");
  ASSERT_TRUE(::SetFileAttributesW(systemPath(tmp / "d/read-only").c_str(),
                                   FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(remove("d/read-only", listed), Removal::PermissionDenied);
  EXPECT_EQ(tmp.read("d/read-only"), "abc");
  ::SetFileAttributesW(systemPath(tmp / "d/read-only").c_str(), FILE_ATTRIBUTE_NORMAL);

  tmp.write("d/held", "abc");
  listed = listedNow("d/held");
  {
    const testing::ExclusiveHold hold(tmp / "d/held", FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(hold.held());
    EXPECT_EQ(remove("d/held", listed), Removal::InUse);
    // Replaced meanwhile, what it has become is said first.
    EXPECT_EQ(remove("d/held", ListedFile{listed.directory, listed.device, listed.inode, 4}),
              Removal::Changed);
  }
  EXPECT_EQ(remove("d/held", listed), Removal::Removed);
}

}  // namespace
}  // namespace dupsieve
