#include "driver/hints.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/conventions.h"
#include "tests/support/captured_notes.h"
#include "tests/support/fake_file_system.h"

namespace dupsieve {
namespace {

using testing::CapturedNotes;
using testing::FakeFileSystem;

class Hints : public ::testing::Test {
 protected:
  Hints() {
    fake.addFile("photos/a.jpg", "abc");
    fake.addDirectory("photos/2003");
    fake.addLink("pictures", "photos");
    fake.addLink("dangling", "nowhere");
    fake.addFile("docs/empty1.txt");
    fake.addFile("docs/sub/empty2.txt");
  }

  // What a terminal's standard error shows for a command line: before the
  // walk, or, given how many files the walk found, after the counts.
  std::string hintsFor(std::initializer_list<std::string_view> arguments,
                       bool errorIsTerminal = true,
                       std::optional<std::size_t> filesFound = std::nullopt) {
    const std::vector<std::string_view> list(arguments);
    CapturedNotes captured(errorIsTerminal);
    if (filesFound) {
      writeResultHints(readCommandLine(list), *filesFound, 0, fake, captured.notes);
    } else {
      writeCommandLineHints(readCommandLine(list), fake, captured.notes);
    }
    return captured.err.str();
  }

  FakeFileSystem fake;
};

TEST_F(Hints, OperandsThatNameNothingOrADirectoryWithoutRecursion) {
  EXPECT_EQ(hintsFor({"photos", "backup"}),
            "photos is a directory: give -r to search inside it\n"
            "backup: no such file or directory\n");
  EXPECT_EQ(hintsFor({}), ". is a directory: give -r to search inside it\n");
  EXPECT_EQ(hintsFor({"-r", "photos", "backup"}), "backup: no such file or directory\n");
  // A pattern names what its listing yields; a file named is just a file.
  EXPECT_EQ(hintsFor({"photos/*.jpg", "photos/*.png", "photos/a.jpg", "nowhere/*.*"}),
            "photos/*.png: no such file or directory\n"
            "nowhere/*.*: no such file or directory\n");
  EXPECT_EQ(hintsFor({"-r", "photos/"}), "");
  // The walk records no link: say how to search where it leads.
  EXPECT_EQ(hintsFor({"pictures", "dangling"}),
            "pictures is a link to a directory: give -r pictures/. to search where it leads\n");
  EXPECT_EQ(hintsFor({"-r", "pictures"}),
            "pictures is a link to a directory: give pictures/. to search where it leads\n");
  EXPECT_EQ(hintsFor({"-r", "pictures/."}), "");
  EXPECT_EQ(hintsFor({"D:p"}), isDriveRelative("D:p") ? "D:p is relative to the current folder of "
            "drive D:, which is not searched: give D:\\p\n" : "D:p: no such file or directory\n");
  EXPECT_EQ(hintsFor({"/"}),
            "an empty operand (or a lone /) names nothing: give /. for the root directory\n");
}

TEST_F(Hints, OptionsThatDoNotExistOrAreReadOtherwiseThanMeant) {
  EXPECT_EQ(hintsFor({"-r", "--help", "--recursive", "-h", "-rz", "-b1024", "-z", "photos"}),
            "dupsieve has no long options; see " + manualReference() + "\n"
            "-h is not an option of dupsieve; see " + manualReference() + "\n"
            "-rz is read as -r: give each option apart\n");
}

TEST_F(Hints, AfterTheCountsFilesOfSizeZeroPassedOverWhenNothingWasFound) {
  const std::string one = "1 file of size 0 was passed over: give -z to count files of size 0\n";
  EXPECT_EQ(hintsFor({"-r", "docs"}, true, 0),
            "2 files of size 0 were passed over: give -z to count files of size 0\n");
  EXPECT_EQ(hintsFor({"docs/empty1.txt"}, true, 0), one);
  EXPECT_EQ(hintsFor({"docs/*"}, true, 0), one);
  EXPECT_EQ(hintsFor({"docs"}, true, 0), "");  // a directory: the hint before the walk said so
  EXPECT_EQ(hintsFor({"-r", "-z", "docs"}, true, 0), "");
  EXPECT_EQ(hintsFor({"-r", "docs", "photos"}, true, 1), "");
  EXPECT_EQ(hintsFor({"-r", "photos/2003"}, true, 0), "");
}

TEST_F(Hints, EachHintOnceAndAnOperandShownEscaped) {
  EXPECT_EQ(hintsFor({"-r", "gone", "gone", "bad\x1b[2Jname"}),
            "gone: no such file or directory\n"
            "bad\\x1b[2Jname: no such file or directory\n");
}

TEST_F(Hints, NothingWrittenOrListedUnlessStandardErrorIsATerminal) {
  EXPECT_EQ(hintsFor({"--help", "photos", "nowhere/*.*"}, false), "");
  EXPECT_EQ(hintsFor({"-r", "docs"}, false, 0), "");
  EXPECT_TRUE(fake.listedPatterns.empty());
}

}  // namespace
}  // namespace dupsieve
