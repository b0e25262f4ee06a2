// What only Windows has: its own name matching, hidden and system bits,
// drives, reparse points and files that another program holds.
#include "platform/real_file_system.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/windows/system_path.h"
#include "tests/support/temp_dir.h"
#include "tests/support/windows_fixtures_win32.h"

namespace dupsieve {
namespace {

using windows::systemPath;

using testing::TempDir;

class NullSink final : public ByteSink {
 public:
  void consume(std::span<const unsigned char> bytes) override { count += bytes.size(); }
  std::size_t count = 0;
};

class WindowsFileSystemTest : public ::testing::Test {
 protected:
  std::vector<DirectoryEntry> entriesOf(const std::string& pattern) {
    std::vector<DirectoryEntry> entries;
    std::unique_ptr<DirectoryListing> listing = fs.findFirst(pattern);
    if (!listing) return entries;
    do {
      if (listing->entry().name != "." && listing->entry().name != "..") {
        entries.push_back(listing->entry());
      }
    } while (listing->next());
    std::sort(entries.begin(), entries.end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
    return entries;
  }

  std::vector<std::string> namesOf(const std::string& pattern) {
    std::vector<std::string> names;
    for (const DirectoryEntry& entry : entriesOf(pattern)) names.push_back(entry.name);
    return names;
  }

  TempDir tmp;
  RealFileSystem fs;
};

TEST_F(WindowsFileSystemTest, PatternsMatchByTheSystemsOwnRule) {
  const std::string a = "\xc4\x81.txt";  // ā.txt
  const std::string omega = "\xce\xa9.txt";
  for (const std::string& name : {std::string("a1.txt"), std::string("B1.TXT"), a, omega,
                                  std::string("noext")}) {
    tmp.write("d/" + name, "x");
  }
  const std::string d = tmp / "d/";

  EXPECT_EQ(namesOf(d + "*.*"), (std::vector<std::string>{"B1.TXT", "a1.txt", "noext", a, omega}));
  EXPECT_EQ(namesOf(d + "A*"), (std::vector<std::string>{"a1.txt"}));
  EXPECT_EQ(namesOf(d + "*.TXT"), (std::vector<std::string>{"B1.TXT", "a1.txt", a, omega}));
  // "?" stands for one character, however many bytes it takes in UTF-8.
  EXPECT_EQ(namesOf(d + "?.txt"), (std::vector<std::string>{a, omega}));
  // Without wildcards: the entry under the name it really has.
  std::unique_ptr<DirectoryListing> named = fs.findFirst(d + "b1.txt");
  ASSERT_NE(named, nullptr);
  EXPECT_EQ(named->entry().name, "B1.TXT");
}

TEST_F(WindowsFileSystemTest, HiddenAndSystemBitsComeFromTheListing) {
  tmp.write("d/plain", "1");
  tmp.write("d/hidden", "22");
  tmp.write("d/system", "333");
  ASSERT_TRUE(::SetFileAttributesW(systemPath(tmp / "d/hidden").c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(::SetFileAttributesW(systemPath(tmp / "d/system").c_str(), FILE_ATTRIBUTE_SYSTEM));

  const std::vector<DirectoryEntry> entries = entriesOf(tmp / "d/*");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, "hidden");
  EXPECT_EQ(entries[0].attributes, kAttributeHidden);
  EXPECT_EQ(entries[0].size, 2u);
  EXPECT_EQ(entries[1].attributes, 0u);
  EXPECT_EQ(entries[2].attributes, kAttributeSystem);
  EXPECT_EQ(entries[2].size, 3u);
}

TEST_F(WindowsFileSystemTest, ABareDriveNameIsTheWholeDrive) {
  tmp.write("drive/top", "1");
  tmp.write("drive/sub/inner", "2");
  const testing::MappedDrive drive(tmp / "drive");
  ASSERT_FALSE(drive.name().empty()) << "no drive letter could be mapped";

  std::string lower = drive.name();
  lower[0] = static_cast<char>(lower[0] - 'A' + 'a');
  for (const std::string& name : {drive.name(), lower}) {
    std::unique_ptr<DirectoryListing> itself = fs.findFirst(name);
    ASSERT_NE(itself, nullptr) << name;
    EXPECT_EQ(itself->entry().name, name);
    EXPECT_EQ(itself->entry().attributes, kAttributeDirectory);
    EXPECT_FALSE(itself->next());
    EXPECT_EQ(namesOf(name + "/*.*"), (std::vector<std::string>{"sub", "top"})) << name;
  }
  // The drive's root and the folder mapped to it are one directory.
  EXPECT_EQ(fs.findFirst(drive.name() + "/*")->directory(),
            fs.findFirst(tmp / "drive/*")->directory());
  // Relative to the drive's current directory, names would lose their drive
  // in the paths built from them: nothing is listed.
  EXPECT_EQ(fs.findFirst(drive.name() + "*.*"), nullptr);
  EXPECT_EQ(fs.findFirst(drive.name() + "top"), nullptr);
  EXPECT_NE(fs.findFirst(drive.name() + "/top"), nullptr);
}

TEST_F(WindowsFileSystemTest, LinksToDirectoriesAreSystemEntriesThatAreNeverOpened) {
  tmp.write("target/secret", "do not read");
  tmp.makeDirectory("d");
  ASSERT_TRUE(testing::makeDirectoryLink(tmp / "target", tmp / "d/link"));

  const std::vector<DirectoryEntry> entries = entriesOf(tmp / "d/*");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "link");
  EXPECT_EQ(entries[0].attributes, kAttributeSystem);
  EXPECT_EQ(entries[0].size, 0u);

  std::unique_ptr<DirectoryListing> named = fs.findFirst(tmp / "d/link");
  ASSERT_NE(named, nullptr);
  EXPECT_EQ(named->entry().attributes, kAttributeSystem);
  // Windows opens the link itself; wine opens what it leads to. Either way
  // nothing is removed.
  const Removal removal = fs.removeListedFile(tmp / "d/link", ListedFile{});
  EXPECT_TRUE(removal == Removal::NotAFile || removal == Removal::Directory)
      << static_cast<int>(removal);
  EXPECT_EQ(tmp.read("target/secret"), "do not read");
  NullSink sink;
  EXPECT_FALSE(fs.readLeadingBytes(tmp / "d/link", 100, sink));
  EXPECT_EQ(sink.count, 0u);
  testing::removeDirectoryLink(tmp / "d/link");
}

TEST_F(WindowsFileSystemTest, AFileHeldExclusivelyIsListedButCannotBeRead) {
  tmp.write("d/held", "abc");
  const testing::ExclusiveHold hold(tmp / "d/held");
  ASSERT_TRUE(hold.held());

  const std::vector<DirectoryEntry> entries = entriesOf(tmp / "d/*");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].size, 3u);
  NullSink sink;
  EXPECT_FALSE(fs.readLeadingBytes(tmp / "d/held", 100, sink));
  EXPECT_EQ(sink.count, 0u);
  EXPECT_EQ(fs.removeListedFile(tmp / "d/held", ListedFile{{}, 0, 0, 3}), Removal::InUse);
  EXPECT_TRUE(tmp.exists("d/held"));
}

}  // namespace
}  // namespace dupsieve
