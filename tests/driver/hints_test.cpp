#include "driver/hints.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

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
  }

  // What a terminal's standard error shows for a command line.
  std::string hintsFor(std::initializer_list<std::string_view> arguments,
                       bool errorIsTerminal = true) {
    const std::vector<std::string_view> list(arguments);
    CapturedNotes captured(errorIsTerminal);
    writeHints(readCommandLine(list), fake, captured.notes);
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
  EXPECT_EQ(hintsFor({"/"}),
            "an empty operand (or a lone /) names nothing: give /. for the root directory\n");
}

TEST_F(Hints, OptionsThatDoNotExistOrAreReadOtherwiseThanMeant) {
  EXPECT_EQ(hintsFor({"-r", "--help", "--recursive", "-h", "-rz", "-b1024", "-z", "photos"}),
            "dupsieve has no long options; see man dupsieve\n"
            "-h is not an option of dupsieve; see man dupsieve\n"
            "-rz is read as -r: give each option apart\n");
}

TEST_F(Hints, EachHintOnceAndAnOperandShownEscaped) {
  EXPECT_EQ(hintsFor({"-r", "gone", "gone", "bad\x1b[2Jname"}),
            "gone: no such file or directory\n"
            "bad\\x1b[2Jname: no such file or directory\n");
}

TEST_F(Hints, NothingWrittenOrListedUnlessStandardErrorIsATerminal) {
  EXPECT_EQ(hintsFor({"--help", "photos", "nowhere/*.*"}, false), "");
  EXPECT_TRUE(fake.listedPatterns.empty());
}

}  // namespace
}  // namespace dupsieve
