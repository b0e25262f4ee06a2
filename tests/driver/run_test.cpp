#include "driver/run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <initializer_list>
#include <ios>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/compare_mode.h"
#include "driver/command_line.h"
#include "tests/support/captured_notes.h"
#include "tests/support/expected_output.h"
#include "tests/support/fake_file_system.h"

namespace dupsieve {
namespace {

using testing::FakeFileSystem;
using testing::FakeNode;
using testing::countLines;

class RunSearch : public ::testing::Test {
 protected:
  // runSearch leaves the comparison mode at its start value; restore it
  // anyway so a failure here cannot leak into other tests.
  ~RunSearch() override { compareMode = CompareMode::BySizeAndDigest; }

  static Settings settingsFor(std::initializer_list<std::string_view> arguments) {
    const std::vector<std::string_view> list(arguments);
    return readCommandLine(list);
  }

  std::string run(const Settings& settings, const std::string& answers = "") {
    std::istringstream in(answers);
    std::ostringstream out;
    testing::CapturedNotes notes;
    runSearch(settings, fake, in, out, false, notes.notes);
    return out.str();
  }

  // "hello" sums to 0x6c6c65d7 (lane 0: 0x68 + 0x6f), "world" to
  // 0x6c726fdb (lane 0: 0x77 + 0x64). Listed in the order added.
  void addPhotoTree() {
    fake.addFile("photos/a.jpg", "hello");
    fake.addFile("photos/c.txt", "world");
    fake.addFile("photos/sub/d.jpg", "hello");
    fake.addFile("photos/sub/f.txt", "world");
    fake.addFile("photos/b.jpg", "hello");
    fake.addFile("photos/e.bin", "xy");
    fake.addFile("photos/empty", "");
    FakeNode hidden;
    hidden.attributes = kAttributeHidden;
    hidden.size = 5;
    hidden.contents = "hello";
    fake.addEntry("photos/hidden.jpg", hidden);
  }

  FakeFileSystem fake;
};

// The two group blocks of the photo tree, members under `prefix`, before
// the prompts are answered.
std::string photoGroups(const std::string& prefix) {
  return prefix + "a.jpg\t5\t6c6c65d7\n" + prefix + "b.jpg\t5\t6c6c65d7\n" + prefix +
         "sub/d.jpg\t5\t6c6c65d7\n"
         "\n"
         "Delete " + prefix + "a.jpg ? (y/other): Delete " + prefix +
         "b.jpg ? (y/other): Delete " + prefix + "sub/d.jpg ? (y/other): \n" + prefix +
         "c.txt\t5\t6c726fdb\n" + prefix +
         "sub/f.txt\t5\t6c726fdb\n"
         "\n"
         "Delete " + prefix + "c.txt ? (y/other): Delete " + prefix +
         "sub/f.txt ? (y/other): \n";
}

TEST_F(RunSearch, ReportsEachStageAndTheGroupsOfATreeWithCopies) {
  addPhotoTree();
  // Words left over from the first group answer the second one's prompts.
  const std::string output = run(settingsFor({"-r", "photos"}), "n y n y\n");

  // Walk: a.jpg, c.txt, sub/d.jpg, sub/f.txt, b.jpg, e.bin (the empty and
  // the hidden file are passed over); e.bin alone has size 2; two digests.
  EXPECT_EQ(output,
            "serching all files.\n"
            "6 files were found.\n"
            "removing file-info registered repeatedly.\n"
            "6 files were actually found.\n"
            "serching doubtful same-sized files.\n"
            "5 files were found.\n"
            "serching doubtful same-hashed files.\n"
            "2 pairs of doubtful files were found.\n"
            "\n"
            "photos/a.jpg\t5\t6c6c65d7\n"
            "photos/b.jpg\t5\t6c6c65d7\n"
            "photos/sub/d.jpg\t5\t6c6c65d7\n"
            "\n"
            "Delete photos/a.jpg ? (y/other): Delete photos/b.jpg ? (y/other): "
            "Delete photos/sub/d.jpg ? (y/other): \n"
            "photos/c.txt\t5\t6c726fdb\n"
            "photos/sub/f.txt\t5\t6c726fdb\n"
            "\n"
            "Delete photos/c.txt ? (y/other): Delete photos/sub/f.txt ? (y/other): \n");
  EXPECT_EQ(fake.deletedPaths, (std::vector<std::string>{"photos/b.jpg", "photos/c.txt"}));
  EXPECT_FALSE(fake.exists("photos/b.jpg"));
  EXPECT_FALSE(fake.exists("photos/c.txt"));
  EXPECT_TRUE(fake.exists("photos/a.jpg"));
  EXPECT_TRUE(fake.exists("photos/sub/f.txt"));
}

TEST_F(RunSearch, EndOfInputListsEveryGroupAndDeletesNothing) {
  addPhotoTree();
  EXPECT_EQ(run(settingsFor({"-r", "photos"}), ""),
            countLines(6, 6, 5, 2) + photoGroups("photos/"));
  EXPECT_TRUE(fake.deletedPaths.empty());
}

TEST_F(RunSearch, WithoutArgumentsTheCurrentDirectoryIsTheStart) {
  // "same" sums to 0x656d6173.
  fake.addFile("a", "same");
  fake.addFile("sub/c", "same");
  fake.addFile("b", "same");
  fake.addFile("u", "unique");

  // "." names the directory itself, which is never recorded: nothing found.
  EXPECT_EQ(run(settingsFor({})), countLines(0, 0, 0, 0));
  EXPECT_EQ(fake.listedPatterns, (std::vector<std::string>{"."}));

  fake.listedPatterns.clear();
  EXPECT_EQ(run(settingsFor({"-r"})), countLines(4, 4, 3, 1) +
                                          "./a\t4\t656d6173\n"
                                          "./b\t4\t656d6173\n"
                                          "./sub/c\t4\t656d6173\n"
                                          "\n"
                                          "Delete ./a ? (y/other): Delete ./b ? (y/other): "
                                          "Delete ./sub/c ? (y/other): \n");
  EXPECT_EQ(fake.listedPatterns, (std::vector<std::string>{"./*.*", "./sub/*.*"}));
}

TEST_F(RunSearch, MissingStartDirectoryGoesThroughEveryStageWithZeroCounts) {
  addPhotoTree();
  EXPECT_EQ(run(settingsFor({"nowhere"})), countLines(0, 0, 0, 0));
  EXPECT_EQ(run(settingsFor({"-r", "nowhere"}), "y\n"), countLines(0, 0, 0, 0));
  EXPECT_EQ(run(settingsFor({"-r", "photos/nowhere/*.*"}), "y\n"), countLines(0, 0, 0, 0));
  EXPECT_TRUE(fake.readPaths.empty());
  EXPECT_TRUE(fake.deletedPaths.empty());
}

TEST_F(RunSearch, DirectoryWalkedTwiceCountsDistinctFilesAfterRemovingRepeats) {
  addPhotoTree();
  EXPECT_EQ(run(settingsFor({"-r", "photos", "photos"})),
            countLines(12, 6, 5, 2) + photoGroups("photos/"));
}

TEST_F(RunSearch, OneDirectoryUnderSeveralSpellingsIsReportedOnce) {
  addPhotoTree();
  // 6 + 6 + 1 records; "./photos/..." precedes "photos/..." and is kept.
  EXPECT_EQ(run(settingsFor({"-r", "photos", "./photos", "photos/a.jpg"})),
            countLines(13, 6, 5, 2) + photoGroups("./photos/"));
}

TEST_F(RunSearch, StartDirectoriesAreWalkedInCommandLineOrder) {
  fake.addFile("dirA/x", "1");
  fake.addFile("dirB/y", "2");
  run(settingsFor({"dirB", "-r", "dirA", "dirA"}));
  EXPECT_EQ(fake.listedPatterns, (std::vector<std::string>{"dirB", "dirB/*.*", "dirA",
                                                           "dirA/*.*", "dirA", "dirA/*.*"}));
}

TEST_F(RunSearch, CountsAreDecimalWhateverBaseTheStreamWasLeftIn) {
  // Ten files of 12 bytes summing to 1, and one of 3 bytes.
  const std::string twelve = std::string(1, '\x01') + std::string(11, '\0');
  std::string members;
  std::string prompts;
  for (char digit = '0'; digit <= '9'; ++digit) {
    const std::string path = std::string("same/f0") + digit;
    fake.addFile(path, twelve);
    members += path + "\t12\t1\n";
    prompts += "Delete " + path + " ? (y/other): ";
  }
  fake.addFile("same/zz", "abc");

  std::istringstream in("");
  std::ostringstream out;
  out << std::hex;
  testing::CapturedNotes notes;
  runSearch(settingsFor({"-r", "same"}), fake, in, out, false, notes.notes);
  EXPECT_EQ(out.str(), "serching all files.\n"
                       "11 files were found.\n"
                       "removing file-info registered repeatedly.\n"
                       "11 files were actually found.\n"
                       "serching doubtful same-sized files.\n"
                       "10 files were found.\n"
                       "serching doubtful same-hashed files.\n"
                       "1 pairs of doubtful files were found.\n"
                       "\n" +
                           members + "\n" + prompts + "\n");
}

TEST_F(RunSearch, BlockSizeDecidesHowManyLeadingBytesAreCompared) {
  // Equal in their first four bytes "hell" (0x6c6c6568) only.
  fake.addFile("d/x", "hellA");
  fake.addFile("d/y", "hellB");

  EXPECT_EQ(run(settingsFor({"d/*.*"})), countLines(2, 2, 2, 0));

  fake.bytesRead = 0;
  EXPECT_EQ(run(settingsFor({"-b4", "d/*.*"})), countLines(2, 2, 2, 1) +
                                                   "d/x\t5\t6c6c6568\n"
                                                   "d/y\t5\t6c6c6568\n"
                                                   "\n"
                                                   "Delete d/x ? (y/other): "
                                                   "Delete d/y ? (y/other): \n");
  EXPECT_EQ(fake.bytesRead, 8u);

  // Block size 0 groups by size alone; the report then sums the first 256
  // bytes: lane 0 is 0x68 + 0x41 for x and 0x68 + 0x42 for y.
  EXPECT_EQ(run(settingsFor({"d/*.*", "-b0"})), countLines(2, 2, 2, 1) +
                                                   "d/x\t5\t6c6c65a9\n"
                                                   "d/y\t5\t6c6c65aa\n"
                                                   "\n"
                                                   "Delete d/x ? (y/other): "
                                                   "Delete d/y ? (y/other): \n");
}

TEST_F(RunSearch, IncludeEmptyMakesEmptyFilesCandidates) {
  fake.addFile("d/e1", "");
  fake.addFile("d/x", "a");
  fake.addFile("d/e2", "");

  EXPECT_EQ(run(settingsFor({"d/*.*"})), countLines(1, 1, 0, 0));
  EXPECT_EQ(run(settingsFor({"d/*.*", "-z"}), "y n\n"), countLines(3, 3, 2, 1) +
                                                            "d/e1\t0\t0\n"
                                                            "d/e2\t0\t0\n"
                                                            "\n"
                                                            "Delete d/e1 ? (y/other): "
                                                            "Delete d/e2 ? (y/other): \n");
  EXPECT_EQ(fake.deletedPaths, (std::vector<std::string>{"d/e1"}));
}

// Standard output and standard error on one terminal, as a person sees
// them, with a clock that moves on by `step` each time it is read.
class RunOnTerminal : public RunSearch {
 protected:
  std::string runOnScreen(const Settings& settings, std::chrono::milliseconds step) {
    std::istringstream in("");
    std::ostringstream screen;
    Notes notes(screen, true, false, [this, step] { return now += step; });
    runSearch(settings, fake, in, screen, false, notes);
    return screen.str();
  }

  void addSameFiles(int count) {
    for (int i = 0; i < count; ++i) fake.addFile("d/f" + std::to_string(1000 + i), "same");
  }

  std::chrono::steady_clock::time_point now;
};

TEST_F(RunOnTerminal, ACounterRunsWhileTheLongStagesRunAndIsErasedBeforeEachCountLine) {
  addSameFiles(130);
  const std::string blanks(26, ' ');
  // Every status is due when a second passes between two looks at the
  // clock; the stages report every 64 items.
  const std::string screen = runOnScreen(settingsFor({"-r", "d"}), std::chrono::seconds(1));
  const std::string countsWithCounters =
      "serching all files.\n"
      "\r64 files found\r128 files found\r" + blanks.substr(0, 15) + "\r"
      "130 files were found.\n"
      "removing file-info registered repeatedly.\n"
      "130 files were actually found.\n"
      "serching doubtful same-sized files.\n"
      "130 files were found.\n"
      "serching doubtful same-hashed files.\n"
      "\r64 of 130 candidates read\r128 of 130 candidates read\r" + blanks + "\r"
      "1 pairs of doubtful files were found.\n\n";
  EXPECT_EQ(screen.substr(0, countsWithCounters.size()), countsWithCounters);
  EXPECT_EQ(screen.substr(countsWithCounters.size()),
            run(settingsFor({"-r", "d"})).substr(countLines(130, 130, 130, 1).size()));
}

TEST_F(RunOnTerminal, NoCounterBeforeItsIntervalHasPassed) {
  addSameFiles(300);
  EXPECT_EQ(runOnScreen(settingsFor({"-r", "d"}), std::chrono::milliseconds(0)),
            run(settingsFor({"-r", "d"})));
}

TEST_F(RunOnTerminal, CommandLineHintsComeBeforeTheWalkAndResultHintsAfterTheCounts) {
  fake.addFile("e/empty");
  // Refused to the walk, and again to the walk that counts empty files.
  fake.addFile("e/locked/inside", "x");
  fake.node("e/locked").failOpen = true;
  const std::string counts = countLines(0, 0, 0, 0);
  const std::string hints =
      "1 directory could not be read: what is in it was not searched\n"
      "1 file of size 0 was passed over: give -z to count files of size 0\n\n";
  EXPECT_EQ(runOnScreen(settingsFor({"-rz", "e"}), std::chrono::milliseconds(0)),
            "-rz is read as -r: give each option apart\n" + counts.substr(0, counts.size() - 1) +
                hints);
}

}  // namespace
}  // namespace dupsieve
