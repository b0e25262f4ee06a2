#include "platform/real_file_system.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/batch_read.h"
#include "tests/support/listings.h"
#include "tests/support/temp_dir.h"

namespace dupsieve {
namespace {

using testing::StringSink;
using testing::TempDir;

// Bytes that differ from position to position, so that a chunk handed over
// twice, skipped or out of order shows.
std::string patternedBytes(std::size_t length) {
  std::string bytes(length, '\0');
  for (std::size_t i = 0; i < length; ++i) {
    bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  }
  return bytes;
}

class RealFileSystemTest : public ::testing::Test {
 protected:
  // Every entry of a listing, by name; an empty map when findFirst gives null.
  std::map<std::string, DirectoryEntry> entriesOf(const std::string& pattern) {
    return testing::entriesByName(fs, pattern);
  }

  // The sorted names of a listing; empty when findFirst gives null.
  std::vector<std::string> namesOf(const std::string& pattern) {
    std::vector<std::string> names;
    for (const auto& [name, entry] : entriesOf(pattern)) names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
  }

  void symlinkAt(const std::string& target, const std::string& relative) {
    ASSERT_EQ(::symlink(target.c_str(), (tmp / relative).c_str()), 0) << std::strerror(errno);
  }

  void fifoAt(const std::string& relative) {
    ASSERT_EQ(::mkfifo((tmp / relative).c_str(), 0600), 0) << std::strerror(errno);
  }

  void socketAt(const std::string& relative) {
    const std::string path = tmp / relative;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof(address.sun_path));
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    ::close(fd);
    ASSERT_EQ(bound, 0) << std::strerror(errno);
  }

  // A file of the given length that holds no data blocks.
  void sparseFileAt(const std::string& relative, std::uint64_t length) {
    const int fd = ::open((tmp / relative).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    const int truncated = ::ftruncate(fd, static_cast<off_t>(length));
    ::close(fd);
    ASSERT_EQ(truncated, 0) << std::strerror(errno);
  }

  static std::uint64_t inodeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return static_cast<std::uint64_t>(info.st_ino);
  }

  static DirectoryId directoryIdOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
  }

  TempDir tmp;
  RealFileSystem fs;
};

// The names used by the listing tests, with what makes each awkward.
constexpr const char* kCafe = "caf\xc3\xa9";       // bytes above 127
constexpr const char* kRawBytes = "\xff\xfe.bin";  // not valid UTF-8 at all

class ListingByPatternTest : public RealFileSystemTest {
 protected:
  void SetUp() override {
    for (const char* name : {"a1.txt", "a22.txt", "b1.txt", "A1.txt", "x", ".hidden", "noext",
                             "a.b", "with space", "new\nline", kCafe, kRawBytes}) {
      tmp.write(std::string("d/") + name, "content");
    }
    tmp.makeDirectory("d/sub");
    directory = tmp / "d";
  }
  std::string directory;
};

TEST_F(ListingByPatternTest, StarDotStarAndStarListEveryEntryWithDotAndDotDot) {
  std::vector<std::string> expected{".",   "..",     "a1.txt",     "a22.txt",   "b1.txt",
                                    "A1.txt", "x",   ".hidden",    "noext",     "a.b",
                                    "with space", "new\nline", kCafe, kRawBytes, "sub"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(namesOf(directory + "/*.*"), expected);
  EXPECT_EQ(namesOf(directory + "/*"), expected);
  EXPECT_EQ(namesOf(directory + "/**"), expected);
}

TEST_F(ListingByPatternTest, WildcardPatternsKeepOnlyTheNamesTheyMatch) {
  struct Case {
    std::string component;
    std::vector<std::string> expected;  // sorted
  };
  const std::vector<Case> cases{
      {"a?.txt", {"a1.txt"}},
      {"?1.txt", {"A1.txt", "a1.txt", "b1.txt"}},
      {"*.txt", {"A1.txt", "a1.txt", "a22.txt", "b1.txt"}},
      {"A*", {"A1.txt"}},
      {"a*", {"a.b", "a1.txt", "a22.txt"}},
      // "." is one byte long and ".." two, so they are kept like any name
      {"?", {".", "x"}},
      {"??", {".."}},
      {".*", {".", "..", ".hidden"}},
      {"*.?", {"..", "a.b"}},  // ".." is an empty run, a dot and one byte
      {"* *", {"with space"}},
      {"*\n*", {"new\nline"}},
      {"caf*", {kCafe}},
      {"caf??", {kCafe}},
      {"caf?", {}},
      {"\xff*", {kRawBytes}},
      {"s?b", {"sub"}},
      {"*.zzz", {}},
  };
  for (const Case& c : cases) {
    const std::string pattern = directory + "/" + c.component;
    EXPECT_EQ(namesOf(pattern), c.expected) << "pattern " << pattern;
    if (c.expected.empty()) {
      EXPECT_EQ(fs.findFirst(pattern), nullptr) << "pattern " << pattern;
    }
  }
}

TEST_F(RealFileSystemTest, EntriesCarryAttributesAndSizesWithoutFollowingLinks) {
  tmp.write("d/five.bin", "12345");
  tmp.write("d/empty", "");
  tmp.write("d/.dotted", "abc");
  tmp.makeDirectory("d/sub");
  tmp.write("d/sub/inside", std::string(1000, 'z'));
  symlinkAt(tmp / "d/five.bin", "d/link-to-file");
  symlinkAt(tmp / "d/sub", "d/link-to-dir");
  symlinkAt(tmp / "d/nowhere", "d/dangling");
  fifoAt("d/fifo");
  socketAt("d/sock");

  const auto entries = entriesOf(tmp / "d/*.*");
  struct Expected {
    std::string name;
    std::uint32_t attributes;
    std::uint64_t size;
  };
  const Expected expected[] = {
      {".", kAttributeDirectory, 0},
      {"..", kAttributeDirectory, 0},
      {"five.bin", 0, 5},
      {"empty", 0, 0},
      {".dotted", 0, 3},  // a leading dot is not hidden on Linux
      {"sub", kAttributeDirectory, 0},
      {"link-to-file", kAttributeSystem, 0},
      {"link-to-dir", kAttributeSystem, 0},
      {"dangling", kAttributeSystem, 0},
      {"fifo", kAttributeSystem, 0},
      {"sock", kAttributeSystem, 0},
  };
  ASSERT_EQ(entries.size(), std::size(expected));
  for (const Expected& e : expected) {
    const auto found = entries.find(e.name);
    ASSERT_NE(found, entries.end()) << e.name;
    EXPECT_EQ(found->second.attributes, e.attributes) << e.name;
    EXPECT_EQ(found->second.size, e.size) << e.name;
  }
  // Each entry's inode is its own, a link's not its target's.
  EXPECT_EQ(entries.at("five.bin").inode, inodeOf(tmp / "d/five.bin"));
  EXPECT_EQ(entries.at("link-to-file").inode, inodeOf(tmp / "d/link-to-file"));
  EXPECT_NE(entries.at("link-to-file").inode, entries.at("five.bin").inode);
}

TEST_F(RealFileSystemTest, SymlinkLoopIsListedAsSystemEntriesWithoutError) {
  tmp.write("d/plain", "x");
  symlinkAt(tmp / "d/b", "d/a");
  symlinkAt(tmp / "d/a", "d/b");

  const auto entries = entriesOf(tmp / "d/*.*");
  EXPECT_EQ(entries.size(), 5U);  // ".", "..", "plain", "a", "b"
  for (const char* name : {"a", "b"}) {
    ASSERT_EQ(entries.count(name), 1U) << name;
    EXPECT_EQ(entries.at(name).attributes, kAttributeSystem) << name;
    EXPECT_EQ(entries.at(name).size, 0U) << name;
  }
  ASSERT_EQ(entries.count("plain"), 1U);
  EXPECT_EQ(entries.at("plain").size, 1U);

  std::unique_ptr<DirectoryListing> named = fs.findFirst(tmp / "d/a");
  ASSERT_NE(named, nullptr);
  EXPECT_EQ(named->entry().name, "a");
  EXPECT_EQ(named->entry().attributes, kAttributeSystem);
}

TEST_F(RealFileSystemTest, PatternWithoutWildcardsNamesOneEntry) {
  tmp.write("d/file.txt", "hello, world");
  tmp.makeDirectory("d/sub");
  symlinkAt(tmp / "d/sub", "d/link-to-dir");

  struct Case {
    std::string pattern;
    std::string name;
    std::uint32_t attributes;
    std::uint64_t size;
  };
  const Case cases[] = {
      {tmp / "d/file.txt", "file.txt", 0, 12},
      {tmp / "d/sub", "sub", kAttributeDirectory, 0},
      {tmp / "d/link-to-dir", "link-to-dir", kAttributeSystem, 0},
      {tmp / "d/.", ".", kAttributeDirectory, 0},
      {tmp / "d/..", "..", kAttributeDirectory, 0},
      {tmp / "d/sub/../file.txt", "file.txt", 0, 12},
  };
  for (const Case& c : cases) {
    std::unique_ptr<DirectoryListing> listing = fs.findFirst(c.pattern);
    ASSERT_NE(listing, nullptr) << c.pattern;
    EXPECT_EQ(listing->entry().name, c.name) << c.pattern;
    EXPECT_EQ(listing->entry().attributes, c.attributes) << c.pattern;
    EXPECT_EQ(listing->entry().size, c.size) << c.pattern;
    EXPECT_FALSE(listing->next()) << "more than one entry for " << c.pattern;
  }
  EXPECT_EQ(fs.findFirst(tmp / "d/missing"), nullptr);
  EXPECT_EQ(fs.findFirst(tmp / "d/FILE.TXT"), nullptr);
}

TEST_F(RealFileSystemTest, PatternWithoutSlashListsTheCurrentDirectory) {
  const DirectoryId current = directoryIdOf(".");

  std::unique_ptr<DirectoryListing> named = fs.findFirst(".");
  ASSERT_NE(named, nullptr);
  EXPECT_EQ(named->entry().name, ".");
  EXPECT_EQ(named->entry().attributes, kAttributeDirectory);
  EXPECT_EQ(named->directory(), current);

  // Every directory holds "." and "..", so this never comes back empty.
  std::unique_ptr<DirectoryListing> listed = fs.findFirst("*");
  ASSERT_NE(listed, nullptr);
  EXPECT_EQ(listed->directory(), current);
}

TEST_F(RealFileSystemTest, EmptyLastComponentMatchesNothing) {
  tmp.makeDirectory("d");
  for (const std::string& pattern : {std::string(), tmp.path() + "/", tmp / "d/", std::string("/")}) {
    EXPECT_EQ(fs.findFirst(pattern), nullptr) << "pattern \"" << pattern << "\"";
  }
}

TEST_F(RealFileSystemTest, DirectoryThatCannotBeListedGivesNull) {
  tmp.write("file.txt", "x");
  for (const std::string& pattern :
       {tmp / "missing/*.*", tmp / "missing/name", tmp / "file.txt/*", tmp / "file.txt/name",
        tmp / "missing/sub/*"}) {
    EXPECT_EQ(fs.findFirst(pattern), nullptr) << pattern;
  }
}

TEST_F(RealFileSystemTest, WildcardsInTheDirectoryPartArePlainCharacters) {
  tmp.write("a*/inner", "1");
  tmp.write("ab/other", "2");
  tmp.write("ax/third", "3");

  EXPECT_EQ(namesOf(tmp / "a*/*"), (std::vector<std::string>{".", "..", "inner"}));
  // No directory is literally named "a?", although "ab" and "ax" exist.
  EXPECT_EQ(fs.findFirst(tmp / "a?/*"), nullptr);
  EXPECT_EQ(fs.findFirst(tmp / "a?/other"), nullptr);
  std::unique_ptr<DirectoryListing> named = fs.findFirst(tmp / "a*/inner");
  ASSERT_NE(named, nullptr);
  EXPECT_EQ(named->entry().name, "inner");
}

TEST_F(RealFileSystemTest, FilesOf4GiBAndMoreReportTheirFullSize) {
  tmp.makeDirectory("d");
  sparseFileAt("d/over", 4294967297ULL);   // 4 GiB + 1
  sparseFileAt("d/exact", 4294967296ULL);  // 4 GiB, whose low 32 bits are 0

  const auto entries = entriesOf(tmp / "d/*");
  ASSERT_EQ(entries.count("over"), 1U);
  ASSERT_EQ(entries.count("exact"), 1U);
  EXPECT_EQ(entries.at("over").size, 4294967297ULL);
  EXPECT_EQ(entries.at("exact").size, 4294967296ULL);

  std::unique_ptr<DirectoryListing> named = fs.findFirst(tmp / "d/over");
  ASSERT_NE(named, nullptr);
  EXPECT_EQ(named->entry().size, 4294967297ULL);
  EXPECT_EQ(named->entry().attributes, 0U);
}

TEST_F(RealFileSystemTest, ListingsIdentifyTheirDirectoryByDeviceAndInode) {
  tmp.write("d/file", "1");
  tmp.write("e/file", "2");
  tmp.makeDirectory("d/sub");
  symlinkAt(tmp / "d", "link-to-d");
  const DirectoryId d = directoryIdOf(tmp / "d");
  const DirectoryId e = directoryIdOf(tmp / "e");
  const DirectoryId top = directoryIdOf(tmp.path());
  ASSERT_NE(d, e);

  struct Case {
    std::string pattern;
    DirectoryId expected;
  };
  const Case cases[] = {
      {tmp / "d/*.*", d},
      {tmp / "d/*", d},
      {tmp / "./d/*", d},
      {tmp / "d/./*", d},
      {tmp / "d/../d/*.*", d},
      {tmp / "d/sub/../*", d},
      {tmp / "d//*", d},
      {tmp / "link-to-d/*", d},
      {tmp / "e/*.*", e},
      {tmp / "e/../e/*", e},
      // without wildcards: the directory that holds the named entry
      {tmp / "d/file", d},
      {tmp / "d/./file", d},
      {tmp / "d/sub", d},
      {tmp / "d/.", d},
      {tmp / "d", top},
      {tmp / "e/file", e},
  };
  for (const Case& c : cases) {
    std::unique_ptr<DirectoryListing> listing = fs.findFirst(c.pattern);
    ASSERT_NE(listing, nullptr) << c.pattern;
    EXPECT_EQ(listing->directory(), c.expected) << c.pattern;
  }
}

TEST_F(RealFileSystemTest, ReadLeadingBytesHandsOverAtMostTheRequestedHead) {
  const std::string big = patternedBytes(300000);
  const std::string bigPath = tmp.write("big", big);
  const std::string shortPath = tmp.write("short", "abcdef");
  const std::string emptyPath = tmp.write("empty", "");
  tmp.write("d/inside", "through a directory link");
  symlinkAt(tmp / "d", "link-to-d");

  struct Case {
    std::string path;
    std::uint64_t length;
    std::string expected;
  };
  const Case cases[] = {
      {shortPath, 3, "abc"},
      {shortPath, 6, "abcdef"},
      {shortPath, 512, "abcdef"},
      {shortPath, 0, ""},
      {emptyPath, 512, ""},
      // more than one buffer's worth, complete and in order
      {bigPath, 200000, big.substr(0, 200000)},
      {bigPath, 65536, big.substr(0, 65536)},
      {bigPath, 65537, big.substr(0, 65537)},
      {bigPath, 1000000, big},
      // a link before the final component is followed as usual
      {tmp / "link-to-d/inside", 100, "through a directory link"},
  };
  // Path by path, and in batches relative to the directory.
  for (const bool batched : {false, true}) {
    for (const Case& c : cases) {
      StringSink sink;
      EXPECT_TRUE(batched ? testing::readAsBatch(fs, c.path, c.length, sink)
                          : fs.readLeadingBytes(c.path, c.length, sink))
          << c.path << " " << c.length;
      EXPECT_EQ(sink.data.size(), c.expected.size()) << c.path << " " << c.length;
      EXPECT_TRUE(sink.data == c.expected) << c.path << " " << c.length;
    }
  }
}

// Open descriptors of this process, to see that nothing is left open.
std::size_t openDescriptorCount() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

// A batch that owns its paths and sinks, as one read beside its maker does.
struct OwnedBatch final : OwnedHeads {
  OwnedBatch(std::vector<std::string> all, std::uint64_t length)
      : paths(std::move(all)), sinks(paths.size()) {
    for (std::size_t i = 0; i < paths.size(); ++i) {
      const PathParts parts = splitAtLastSlash(paths[i]);
      reads.push_back(HeadRead{parts.directory, parts.name, {}, length, &sinks[i]});
    }
  }
  std::vector<std::string> paths;
  std::vector<StringSink> sinks;
};

TEST_F(RealFileSystemTest, ABatchReadsEachFileFromTheDirectoryItsOwnPathNames) {
  // Files of the same name in several directories, in an order that leaves
  // a directory and comes back to it, with failures in between: each read
  // must come from the directory of its own path, into its own sink.
  tmp.write("a/f", "in a");
  tmp.write("b/f", "in b");
  tmp.write("a/g", "g in a");
  tmp.write("a/sub/f", "in a/sub");
  const std::pair<std::string, std::string> wanted[] = {
      {"a/f", "in a"},     {"missing/f", ""}, {"a/g", "g in a"},     {"b/f", "in b"},
      {"a/missing", ""},   {"a/sub", ""},     {"a/sub/f", "in a/sub"}, {"a/f", "in a"},
      {"a//g", "g in a"},
  };
  for (const PreferredCalls calls : {PreferredCalls{}, PreferredCalls{.batchRing = false}}) {
    RealFileSystem fileSystem(calls);
    const std::size_t descriptorsBefore = openDescriptorCount();
    std::vector<std::string> paths;
    std::vector<StringSink> sinks(std::size(wanted));
    std::vector<HeadRead> reads;
    for (const auto& [name, expected] : wanted) paths.push_back(tmp / name);
    for (std::size_t i = 0; i < paths.size(); ++i) {
      const PathParts parts = splitAtLastSlash(paths[i]);
      reads.push_back(HeadRead{parts.directory, parts.name, {}, 100, &sinks[i]});
    }
    fileSystem.readHeads(reads);
    for (std::size_t i = 0; i < paths.size(); ++i) {
      EXPECT_EQ(reads[i].read, !wanted[i].second.empty()) << paths[i];
      EXPECT_EQ(sinks[i].data, wanted[i].second) << paths[i];
    }
    EXPECT_EQ(openDescriptorCount(), descriptorsBefore) << "left open";
    // The same as more batches read beside the caller than may wait at once
    // (their thread keeps its engine): each comes back once, alike, those
    // taken in order; one given back at once, while the others wait, is
    // either read already (no thread runs) or not at all.
    std::vector<const OwnedHeads*> started;
    std::vector<std::unique_ptr<OwnedHeads>> givenBack;
    std::vector<std::unique_ptr<OwnedHeads>> collected;
    for (int batch = 0; batch < 7; ++batch) {
      auto owned = std::make_unique<OwnedBatch>(paths, 100);
      const OwnedHeads* const made = owned.get();
      if (auto now = fileSystem.startHeads(std::move(owned))) {
        givenBack.push_back(std::move(now));
      } else {
        started.push_back(made);
      }
      for (auto& read : fileSystem.collectHeads(false)) collected.push_back(std::move(read));
    }
    for (auto& read : fileSystem.collectHeads(true)) collected.push_back(std::move(read));
    ASSERT_EQ(collected.size(), started.size());
    ASSERT_EQ(collected.size() + givenBack.size(), 7u);
    for (std::size_t k = 0; k < collected.size(); ++k) ASSERT_EQ(collected[k].get(), started[k]);
    for (const auto* some : {&collected, &givenBack}) {
      for (const auto& back : *some) {
        const auto& batch = static_cast<const OwnedBatch&>(*back);
        const bool unread = some == &givenBack && !batch.reads[0].read;
        for (std::size_t i = 0; i < paths.size(); ++i) {
          EXPECT_EQ(batch.reads[i].read, unread ? false : reads[i].read) << paths[i];
          EXPECT_EQ(batch.sinks[i].data, unread ? "" : sinks[i].data) << paths[i];
        }
      }
    }
  }
}

TEST_F(RealFileSystemTest, ReadLeadingBytesRefusesWhatIsNotARegularFile) {
  tmp.write("target", "secret");
  tmp.makeDirectory("dir");
  symlinkAt(tmp / "target", "link");
  fifoAt("fifo");
  // Hold the FIFO open at both ends with bytes waiting in it, so that even a
  // reader that opened it blocking and read from it would return, not hang:
  // the test can then only fail, never stall.
  const int fifoEnds = ::open((tmp / "fifo").c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(fifoEnds, 0) << std::strerror(errno);
  ASSERT_EQ(::write(fifoEnds, "abc", 3), 3);

  for (const bool batched : {false, true}) {
    for (const std::string& path : {tmp / "gone", tmp / "dir", tmp / "fifo", tmp / "link",
                                    tmp / "target/inside"}) {
      StringSink sink;
      EXPECT_FALSE(batched ? testing::readAsBatch(fs, path, 3, sink)
                           : fs.readLeadingBytes(path, 3, sink))
          << path;
      EXPECT_EQ(sink.data, "") << path;
    }
  }
  ::close(fifoEnds);
  // The link's target itself is readable.
  StringSink sink;
  EXPECT_TRUE(fs.readLeadingBytes(tmp / "target", 100, sink));
  EXPECT_EQ(sink.data, "secret");
}

TEST_F(RealFileSystemTest, ReadLeadingBytesReadsWhatThePathNamesAtTheTimeOfTheRead) {
  // One file system object serves a whole run; between two reads the
  // directories on a path may be renamed, recreated or relinked.
  tmp.write("d/f", "old contents");
  tmp.write("first/f", "first target");
  tmp.write("second/f", "second target");
  symlinkAt(tmp / "first", "link");

  StringSink before;
  ASSERT_TRUE(fs.readLeadingBytes(tmp / "d/f", 100, before));
  ASSERT_EQ(before.data, "old contents");
  ASSERT_EQ(::rename((tmp / "d").c_str(), (tmp / "d-moved").c_str()), 0);
  tmp.write("d/f", "new contents");
  StringSink afterRename;
  EXPECT_TRUE(fs.readLeadingBytes(tmp / "d/f", 100, afterRename));
  EXPECT_EQ(afterRename.data, "new contents");

  StringSink throughFirst;
  ASSERT_TRUE(fs.readLeadingBytes(tmp / "link/f", 100, throughFirst));
  ASSERT_EQ(throughFirst.data, "first target");
  ASSERT_EQ(::unlink((tmp / "link").c_str()), 0);
  symlinkAt(tmp / "second", "link");
  StringSink throughSecond;
  EXPECT_TRUE(fs.readLeadingBytes(tmp / "link/f", 100, throughSecond));
  EXPECT_EQ(throughSecond.data, "second target");

  // A directory removed and made anew after a read: the new one is read.
  tmp.write("remade/f", "first life");
  StringSink firstLife;
  ASSERT_TRUE(fs.readLeadingBytes(tmp / "remade/f", 100, firstLife));
  ASSERT_EQ(firstLife.data, "first life");
  ASSERT_EQ(::unlink((tmp / "remade/f").c_str()), 0);
  ASSERT_EQ(::rmdir((tmp / "remade").c_str()), 0);
  tmp.write("remade/f", "second life");
  StringSink secondLife;
  EXPECT_TRUE(fs.readLeadingBytes(tmp / "remade/f", 100, secondLife));
  EXPECT_EQ(secondLife.data, "second life");
}


// A directory made again at its inode, the same file in it: its birth time tells.
TEST_F(RealFileSystemTest, ADirectoryMadeAgainAtItsInodeIsNotTheListedOne) {
  ListedFile listed;
  int tries = 0;
  do {
    listed = testing::listedNow(fs, tmp.write("d/f", "abc"));
    if (listed.directory.born == 0) GTEST_SKIP() << "no birth time kept by this file system";
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::filesystem::remove_all(tmp / "d");
    tmp.write("d/f", "abc");
  } while (inodeOf(tmp / "d") != listed.directory.inode && ++tries < 100);
  if (tries == 100) GTEST_SKIP() << "no freed inode given to the directory in 100 tries";
  StringSink head;
  EXPECT_FALSE(testing::readAsBatch(fs, tmp / "d/f", 100, head, listed));
  EXPECT_EQ(fs.removeListedFile(tmp / "d/f", listed), Removal::DirectoryReplaced);
  EXPECT_TRUE(tmp.exists("d/f"));
}

}  // namespace
}  // namespace dupsieve
