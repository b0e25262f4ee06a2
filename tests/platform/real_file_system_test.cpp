// The real file system on whichever system the tests run: what must hold
// alike on Linux and on Windows.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/real_file_system.h"
#include "tests/support/batch_read.h"
#include "tests/support/listings.h"
#include "tests/support/temp_dir.h"

namespace dupsieve {
namespace {

using testing::StringSink;
using testing::TempDir;
using testing::utf8Path;

class PortableFileSystemTest : public ::testing::Test {
 protected:
  // Every entry of a listing, by name; empty when findFirst gives null.
  std::map<std::string, DirectoryEntry> entriesOf(const std::string& pattern) {
    return testing::entriesByName(fs, pattern);
  }

  std::string headOf(const std::string& path) {
    StringSink sink;
    EXPECT_TRUE(fs.readLeadingBytes(path, 1000, sink)) << path;
    return sink.data;
  }

  TempDir tmp;
  RealFileSystem fs;
};

// Names outside every single-byte code page, one that needs a surrogate
// pair in UTF-16, and a blank.
const std::vector<std::string> kUnicodeNames = {
    "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.txt",  // 日本語.txt
    "\xc4\x81.txt",                              // ā.txt
    "\xce\xa9.txt",                              // Ω.txt
    "\xf0\x9f\x93\xb7 photo.jpg",                // a camera, then a blank
    "copy.txt",
};
const std::string kUnicodeFolder = "\xd1\x84\xd0\xbe\xd1\x82\xd0\xbe";  // фото

TEST_F(PortableFileSystemTest, UnicodeNamesAreListedReadAndRemovedUnderTheirOwnNames) {
  for (const std::string& name : kUnicodeNames) tmp.write(kUnicodeFolder + "/" + name, name);
  const std::string folder = tmp / kUnicodeFolder;

  const auto entries = entriesOf(folder + "/*");
  ASSERT_EQ(entries.size(), kUnicodeNames.size() + 2) << "every name, \".\" and \"..\"";
  for (const std::string& name : kUnicodeNames) {
    const std::string path = folder + "/" + name;
    ASSERT_EQ(entries.count(name), 1u) << name;
    EXPECT_EQ(entries.at(name).size, name.size()) << name;
    EXPECT_EQ(entries.at(name).attributes, 0u) << name;

    std::unique_ptr<DirectoryListing> named = fs.findFirst(path);
    ASSERT_NE(named, nullptr) << name;
    EXPECT_EQ(named->entry().name, name);
    EXPECT_EQ(headOf(path), name);
  }

  const std::unique_ptr<DirectoryListing> listing = fs.findFirst(folder + "/*");
  for (const std::string& name : kUnicodeNames) {
    const DirectoryEntry& entry = entries.at(name);
    const ListedFile listed{listing->directory(), entry.device, entry.inode, entry.size,
                            entry.modified, entry.born};
    EXPECT_EQ(fs.removeListedFile(folder + "/" + name, listed), Removal::Removed) << name;
    EXPECT_FALSE(tmp.exists(kUnicodeFolder + "/" + name)) << name;
  }
}

TEST_F(PortableFileSystemTest, PathsLongerThan260CharactersWorkLikeAnyOther) {
  std::string deep;
  while ((tmp / deep).size() < 300) deep += "a-directory-name-of-some-length/";
  tmp.write(deep + "file.txt", "deep contents");
  const std::string directory = tmp / deep;
  const std::string file = directory + "file.txt";
  ASSERT_GT(file.size(), 300u);

  const auto entries = entriesOf(directory + "*.*");
  ASSERT_EQ(entries.count("file.txt"), 1u);
  const DirectoryEntry& entry = entries.at("file.txt");
  EXPECT_EQ(entry.size, 13u);
  const DirectoryId id = fs.findFirst(directory + "*.*")->directory();
  EXPECT_NE(id, DirectoryId{});
  EXPECT_EQ(headOf(file), "deep contents");
  EXPECT_EQ(fs.removeListedFile(file, ListedFile{id, entry.device, entry.inode, entry.size,
                                                 entry.modified, entry.born}),
            Removal::Removed);
  EXPECT_FALSE(tmp.exists(deep + "file.txt"));
}

TEST_F(PortableFileSystemTest, DotAndDotDotNameTheDirectoryItself) {
  tmp.write("d/sub/file", "x");
  const DirectoryId d = fs.findFirst(tmp / "d/*")->directory();

  for (const std::string name : {".", ".."}) {
    std::unique_ptr<DirectoryListing> listing = fs.findFirst(tmp / "d/" + name);
    ASSERT_NE(listing, nullptr) << name;
    EXPECT_EQ(listing->entry().name, name);
    EXPECT_EQ(listing->entry().attributes, kAttributeDirectory) << name;
    EXPECT_EQ(listing->directory(), d) << name;
    EXPECT_FALSE(listing->next()) << name;
  }
  EXPECT_EQ(fs.findFirst(tmp / "d/missing/."), nullptr);
  EXPECT_EQ(fs.findFirst(tmp / "d/sub/file/."), nullptr);
}

TEST_F(PortableFileSystemTest, ListingsIdentifyTheirDirectoryHoweverItsPathIsSpelled) {
  tmp.write("d/sub/file", "1");
  tmp.write("e/file", "2");
  const DirectoryId d = fs.findFirst(tmp / "d/*")->directory();
  const DirectoryId e = fs.findFirst(tmp / "e/*")->directory();
  EXPECT_NE(d, DirectoryId{});
  EXPECT_NE(d, e);
  for (const std::string& pattern : {tmp / "d/*.*", tmp / "d/./*", tmp / "d/sub/../*",
                                     tmp / "e/../d/*", tmp / "d/sub", tmp / "d//sub"}) {
    std::unique_ptr<DirectoryListing> listing = fs.findFirst(pattern);
    ASSERT_NE(listing, nullptr) << pattern;
    EXPECT_EQ(listing->directory(), d) << pattern;
  }
}

TEST_F(PortableFileSystemTest, FilesOf4GiBAndMoreReportTheirFullSize) {
  // Sparse where the file system allows: only the head takes room.
  std::filesystem::resize_file(utf8Path(tmp.write("d/over", "head")), 4294967297ULL);

  EXPECT_EQ(entriesOf(tmp / "d/*").at("over").size, 4294967297ULL);
  EXPECT_EQ(fs.findFirst(tmp / "d/over")->entry().size, 4294967297ULL);
  EXPECT_EQ(headOf(tmp / "d/over").substr(0, 4), "head");
}

TEST_F(PortableFileSystemTest, AnOpenFileTellsAWriteToItEvenOfTheSameSize) {
  const std::string path = tmp.write("d/file", "abc");
  std::filesystem::last_write_time(utf8Path(path), {});  // so that a write in the same tick moves it
  const OpenedContent opened = fs.openListedFile(path, testing::listedNow(fs, path));
  ASSERT_NE(opened.reader, nullptr);
  EXPECT_TRUE(opened.reader->unchangedSinceOpened());
  std::fstream(utf8Path(path), std::ios::in | std::ios::out | std::ios::binary).write("X", 1);
  EXPECT_FALSE(opened.reader->unchangedSinceOpened());
}

TEST_F(PortableFileSystemTest, RemovingAListedFileSaysWhyItDidNotHappen) {
  const auto [listedNow, remove] = testing::relativeRemovals(fs, tmp);
  const auto move = [&](const std::string& from, const std::string& to) {
    std::filesystem::rename(utf8Path(tmp / from), utf8Path(tmp / to));
  };

  tmp.write("d/plain", "abc");
  EXPECT_EQ(remove("d/plain", listedNow("d/plain")), Removal::Removed);
  EXPECT_FALSE(tmp.exists("d/plain"));

  // A name of a file that keeps another: removed, freeing nothing yet.
  tmp.write("d/named", "abc");
  std::filesystem::create_hard_link(utf8Path(tmp / "d/named"), utf8Path(tmp / "d/second"));
  EXPECT_EQ(remove("d/named", listedNow("d/named")), Removal::RemovedName);
  EXPECT_EQ(remove("d/second", listedNow("d/second")), Removal::Removed);
  EXPECT_FALSE(tmp.exists("d/second"));

  tmp.write("d/gone", "abc");
  ListedFile listed = listedNow("d/gone");
  ASSERT_TRUE(std::filesystem::remove(utf8Path(tmp / "d/gone")));
  EXPECT_EQ(remove("d/gone", listed), Removal::Gone);

  tmp.write("d/grown", "abc");
  listed = listedNow("d/grown");
  tmp.write("d/grown", "abcd");
  EXPECT_EQ(remove("d/grown", listed), Removal::Changed);

  // Another file of the same size under the listed name.
  tmp.write("d/replaced", "abc");
  listed = listedNow("d/replaced");
  tmp.write("d/other", "xyz");
  ASSERT_TRUE(std::filesystem::remove(utf8Path(tmp / "d/replaced")));
  move("d/other", "d/replaced");
  EXPECT_EQ(remove("d/replaced", listed), Removal::Changed);
  EXPECT_EQ(tmp.read("d/replaced"), "xyz");

  // A file listed in a directory that another directory replaced since.
  tmp.write("e/same", "abc");
  listed = listedNow("e/same");
  tmp.write("f/same", "abc");
  move("e", "g");
  move("f", "e");
  EXPECT_EQ(remove("e/same", listed), Removal::DirectoryReplaced);
  EXPECT_TRUE(tmp.exists("e/same"));

  tmp.makeDirectory("d/sub");
  EXPECT_EQ(remove("d/sub", listedNow("d/sub")), Removal::Directory);
  EXPECT_TRUE(tmp.exists("d/sub"));
}


// A freed inode (file index) goes to the next file made: a file made again
// at the listed size, or rewritten, is told from the listed one by its times.
TEST_F(PortableFileSystemTest, AFileMadeAgainOrRewrittenSinceItWasListedIsRefused) {
  std::map<std::string, ListedFile> listed = {
      {"d/rewritten", testing::listedNow(fs, tmp.write("d/rewritten", "abc"))}};
  // A second later, as a person answers (within a tick it keeps its time).
  const auto rewritten = utf8Path(tmp.write("d/rewritten", "xyz"));
  std::filesystem::last_write_time(rewritten, std::filesystem::last_write_time(rewritten) +
                                                  std::chrono::seconds(1));
  int tries = 0;  // each a chance: other processes may take the freed inode
  do {
    listed["d/reborn"] = testing::listedNow(fs, tmp.write("d/reborn", "abc"));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::filesystem::remove(utf8Path(tmp / "d/reborn"));
    tmp.write("d/reborn", "xyz");
  } while (testing::listedNow(fs, tmp / "d/reborn").inode != listed["d/reborn"].inode &&
           ++tries < 50);
  for (const auto& [file, before] : listed) {
    StringSink head;
    EXPECT_FALSE(testing::readAsBatch(fs, tmp / file, 100, head, before)) << file;
    EXPECT_EQ(fs.openListedFile(tmp / file, before).outcome, ContentOpening::Changed) << file;
    EXPECT_EQ(fs.removeListedFile(tmp / file, before), Removal::Changed) << file;
    EXPECT_EQ(tmp.read(file), "xyz") << file;
  }
  if (tries == 50) GTEST_SKIP() << "the file system gave no freed inode back in 50 tries";
}

}  // namespace
}  // namespace dupsieve
