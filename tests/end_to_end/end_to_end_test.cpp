#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/support/binary_run.h"
#include "tests/support/expected_output.h"
#include "tests/support/temp_dir.h"

namespace dupsieve {
namespace {

namespace fs = std::filesystem;
using testing::runDupsieve;
using testing::RunResult;
using testing::TempDir;
using testing::countLines;
using testing::groupBlock;
using testing::memberLine;
using testing::prompt;

// What the tree under a temporary directory holds: every entry by relative
// path, a file by its contents (a big sparse file by its size and head).
using Snapshot = std::map<std::string, std::string>;

std::string describeFile(const fs::path& file) {
  const std::uintmax_t size = fs::file_size(file);
  std::ifstream in(file, std::ios::binary);
  if (size <= 64 * 1024) {
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::string head(16, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  return "<" + std::to_string(size) + " bytes, starting " + head + ">";
}

Snapshot snapshot(const TempDir& dir) {
  Snapshot entries;
  const fs::path base = testing::utf8Path(dir.path());
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(base)) {
    const std::string relative = testing::utf8String(fs::relative(entry.path(), base));
    if (entry.is_symlink()) {
      entries[relative] = "<link>";
    } else if (entry.is_directory()) {
      entries[relative] = "<directory>";
    } else {
      entries[relative] = describeFile(entry.path());
    }
  }
  return entries;
}

Snapshot without(Snapshot entries, const std::vector<std::string>& removed) {
  for (const std::string& relative : removed) {
    EXPECT_EQ(entries.erase(relative), 1u) << relative << " was not there to begin with";
  }
  return entries;
}

constexpr char kAbc[] = "636261";     // "abc": 'a' 'b' 'c' in lanes 0, 1, 2
constexpr char kXyz[] = "7a7978";     // "xyz"
constexpr char kWxyz[] = "7a797877";  // "wxyz"

TEST(EndToEnd, AnswersOnSeparateLinesDeleteExactlyTheConfirmedFiles) {
  const TempDir tree;
  tree.write("a.txt", "abc");
  tree.write("b.txt", "abc");
  tree.write("c.txt", "abc");
  tree.write("d.txt", "xyz");         // same size, another digest: no group
  tree.write("other.txt", "hello!");  // a size of its own
  const Snapshot before = snapshot(tree);

  const RunResult run = runDupsieve({{"-r"}, "y\nn\ny\n", tree.path()});

  EXPECT_EQ(run.output,
            countLines(5, 5, 4, 1) + groupBlock({"./a.txt", "./b.txt", "./c.txt"}, "3", kAbc));
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(snapshot(tree), without(before, {"a.txt", "c.txt"}));
}

TEST(EndToEnd, SeveralAnswersOnOneLineRunOnIntoTheNextGroup) {
  const TempDir tree;
  tree.write("p/1", "abc");
  tree.write("p/2", "abc");
  tree.write("q/1", "wxyz");
  tree.write("q/2", "wxyz");
  tree.write("lone", "hello");
  const Snapshot before = snapshot(tree);

  const RunResult run = runDupsieve({{"-r", tree.path()}, "n y y\nn\n", tree.path()});

  EXPECT_EQ(run.output, countLines(5, 5, 4, 2) + groupBlock({tree / "p/1", tree / "p/2"}, "3", kAbc) +
                            groupBlock({tree / "q/1", tree / "q/2"}, "4", kWxyz));
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(snapshot(tree), without(before, {"p/2", "q/1"}));
}

TEST(EndToEnd, EmptyLinesAndBlanksAreNoAnswer) {
  const TempDir tree;
  tree.write("a", "abc");
  tree.write("b", "abc");
  const Snapshot before = snapshot(tree);

  const RunResult run = runDupsieve({{"-r"}, "\n\n   \n\t  y  \n\n\n n\n", tree.path()});

  EXPECT_EQ(run.output, countLines(2, 2, 2, 1) + groupBlock({"./a", "./b"}, "3", kAbc));
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(snapshot(tree), without(before, {"a"}));
}

TEST(EndToEnd, OnlyLowerAndUpperCaseYDelete) {
  const TempDir tree;
  for (const char* name : {"f1", "f2", "f3", "f4", "f5"}) tree.write(name, "abc");
  const Snapshot before = snapshot(tree);

  const RunResult run = runDupsieve({{"-r"}, "yes\nn\nY\nYES\ny.\n", tree.path()});

  EXPECT_EQ(run.output,
            countLines(5, 5, 5, 1) + groupBlock({"./f1", "./f2", "./f3", "./f4", "./f5"}, "3", kAbc));
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(snapshot(tree), without(before, {"f3"}));
}

TEST(EndToEnd, InputEndingInsideAGroupKeepsEveryLaterFile) {
  const TempDir tree;
  tree.write("g1/a", "abc");
  tree.write("g1/b", "abc");
  tree.write("g1/c", "abc");
  tree.write("g2/a", "wxyz");
  tree.write("g2/b", "wxyz");
  const Snapshot before = snapshot(tree);

  // The last answer has no line break after it.
  const RunResult run = runDupsieve({{"-r"}, "y\nn", tree.path()});

  EXPECT_EQ(run.output, countLines(5, 5, 5, 2) +
                            groupBlock({"./g1/a", "./g1/b", "./g1/c"}, "3", kAbc) +
                            groupBlock({"./g2/a", "./g2/b"}, "4", kWxyz));
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(snapshot(tree), without(before, {"g1/a"}));
}

TEST(EndToEnd, NoInputAtAllStillWritesEveryPromptAndDeletesNothing) {
  const TempDir tree;
  tree.write("a", "abc");
  tree.write("b", "abc");
  tree.write("c", "wxyz");
  tree.write("d", "wxyz");
  const Snapshot before = snapshot(tree);

  const RunResult run = runDupsieve({{"-r"}, "", tree.path()});

  EXPECT_EQ(run.output, countLines(4, 4, 4, 2) + groupBlock({"./a", "./b"}, "3", kAbc) +
                            groupBlock({"./c", "./d"}, "4", kWxyz));
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(snapshot(tree), before);
}

TEST(EndToEnd, DirectoriesListedWithSizeZeroAreNeverDeleted) {
  const TempDir tree;
  tree.makeDirectory("empty");
  tree.write("full/inside.txt", "abc");
  tree.write("zero", "");
  tree.write("lone", "abc");
  const Snapshot before = snapshot(tree);

  // Without descent and with empty entries included, the two directories
  // and the empty file are entries of size 0.
  const RunResult run = runDupsieve({{"-z", tree / "*"}, "y y y\n", tree.path()});

  EXPECT_EQ(run.output, countLines(4, 4, 3, 1) +
                            groupBlock({tree / "empty", tree / "full", tree / "zero"}, "0", "0"));
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(snapshot(tree), without(before, {"zero"}));
}

TEST(EndToEnd, SizesOf2GiBAndMorePrintInDecimal) {
  const TempDir tree;
  // Sparse files: only their heads take room on disk.
  const auto sparse = [&](const std::string& name, const std::string& head, std::uintmax_t size) {
    fs::resize_file(testing::utf8Path(tree.write(name, head)), size);
  };
  sparse("big/a", "abc", 2147483648u);
  sparse("big/b", "abc", 2147483648u);
  sparse("huge/a", "wxyz", 5368709120u);
  sparse("huge/b", "wxyz", 5368709120u);
  const Snapshot before = snapshot(tree);

  const RunResult run = runDupsieve({{"-r", "-b16"}, "y\nn\nn\ny\n", tree.path()});

  EXPECT_EQ(run.output, countLines(4, 4, 4, 2) +
                            groupBlock({"./big/a", "./big/b"}, "2147483648", kAbc) +
                            groupBlock({"./huge/a", "./huge/b"}, "5368709120", kWxyz));
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(snapshot(tree), without(before, {"big/a", "huge/b"}));
}

TEST(EndToEnd, ADigestWithItsTopBitSetPrintsInFullAndSortsAfterSmallerOnes) {
  const TempDir tree;
  const std::string topBit("\x00\x00\x00\x80", 4);  // lane 3 holds 0x80
  const std::string one("\x01\x00\x00\x00", 4);     // lane 0 holds 1
  tree.write("hi/a", topBit);
  tree.write("hi/b", topBit);
  tree.write("lo/a", one);
  tree.write("lo/b", one);
  const Snapshot before = snapshot(tree);

  const RunResult run = runDupsieve({{"-r"}, "n n n y\n", tree.path()});

  EXPECT_EQ(run.output, countLines(4, 4, 4, 2) + groupBlock({"./lo/a", "./lo/b"}, "4", "1") +
                            groupBlock({"./hi/a", "./hi/b"}, "4", "80000000"));
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(snapshot(tree), without(before, {"hi/b"}));
}

// Windows allows none of these control characters in a name.
#ifndef _WIN32
TEST(EndToEnd, NamesWithBlanksTabsLineBreaksAndHighBytesAreWrittenAsTheyAre) {
  const TempDir tree;
  const std::string names[] = {"caf\xc3\xa9.txt", "my file.txt", "new\nline.txt", "tab\there.txt"};
  for (const std::string& name : names) tree.write(name, "abc");
  const Snapshot before = snapshot(tree);

  // Standard output is a file here, not a terminal: nothing is escaped.
  const RunResult run = runDupsieve({{"-r"}, "n y y n\n", tree.path()});

  EXPECT_EQ(run.output, countLines(4, 4, 4, 1) + groupBlock({"./caf\xc3\xa9.txt", "./my file.txt",
                                                          "./new\nline.txt", "./tab\there.txt"},
                                                         "3", kAbc));
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(snapshot(tree), without(before, {"my file.txt", "new\nline.txt"}));
}
#endif

TEST(EndToEnd, NamesOutsideAnyCodePageAreGroupedShownAndDeleted) {
  const TempDir tree;
  // Given as the operand, so it must reach the tool intact too.
  const std::string folder = "\xe5\x86\x99\xe7\x9c\x9f";  // 写真
  const std::string names[] = {"copy.txt", "\xc4\x81.txt", "\xce\xa9.txt",
                               "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.txt"};  // ā Ω 日本語
  std::vector<std::string> paths;
  for (const std::string& name : names) {
    tree.write(folder + "/" + name, "same content");
    paths.push_back(folder + "/" + name);  // in byte order already
  }
  // A code page without these characters would turn the operand into "??",
  // which names this folder as well.
  tree.write("xy/decoy.txt", "same content");
  const Snapshot before = snapshot(tree);

  const RunResult run = runDupsieve({{"-r", folder}, "y y y y\n", tree.path()});

  EXPECT_EQ(run.output, countLines(4, 4, 4, 1) + groupBlock(paths, "12", "474a2907"));
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(snapshot(tree), without(before, paths));
}

TEST(EndToEnd, CopiesUnderAPathLongerThan260CharactersAreFoundAndDeleted) {
  const TempDir tree;
  std::string deep = ".";
  while (deep.size() < 290) deep += "/a-folder-name-of-some-length";
  tree.write(deep + "/a", "abc");
  tree.write(deep + "/b", "abc");

  const RunResult run = runDupsieve({{"-r"}, "y\nn\n", tree.path()});

  EXPECT_EQ(run.output, countLines(2, 2, 2, 1) + groupBlock({deep + "/a", deep + "/b"}, "3", kAbc));
  EXPECT_EQ(run.exitStatus, 0);
  // The standard library's directory walk cannot go this deep everywhere.
  EXPECT_FALSE(tree.exists(deep + "/a"));
  EXPECT_EQ(tree.read(deep + "/b"), "abc");
}

TEST(EndToEnd, WithoutAnOperandTheWorkingDirectoryIsWalkedUnderDot) {
  const TempDir tree;
  tree.write("top.txt", "abc");
  tree.write("x/y/deep.txt", "abc");
  tree.write("x/other.txt", "hello");
  const Snapshot before = snapshot(tree);

  const RunResult run = runDupsieve({{"-r"}, "n\ny\n", tree.path()});

  EXPECT_EQ(run.output,
            countLines(3, 3, 2, 1) + groupBlock({"./top.txt", "./x/y/deep.txt"}, "3", kAbc));
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(snapshot(tree), without(before, {"x/y/deep.txt"}));
}

TEST(EndToEnd, AMissingStartDirectoryFindsNothingAndEndsNormally) {
  const TempDir tree;
  tree.write("a", "abc");
  tree.write("b", "abc");
  const Snapshot before = snapshot(tree);

  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{tree / "missing"},
        std::vector<std::string>{"-r", tree / "missing"}}) {
    const RunResult run = runDupsieve({arguments, "y\ny\n", tree.path()});

    EXPECT_EQ(run.output, countLines(0, 0, 0, 0)) << arguments.size();
    EXPECT_EQ(run.exitStatus, 0) << arguments.size();
  }
  EXPECT_EQ(snapshot(tree), before);
}

TEST(EndToEnd, ABlockSizeOfZeroGroupsBySizeAndTheReportDigestsEachMember) {
  const TempDir tree;
  tree.write("s/abc", "abc");
  tree.write("s/xyz", "xyz");
  // Bytes past the first 256 would change every lane of these sums.
  tree.write("t/ones", std::string(300, '\x01'));
  tree.write("t/twos", std::string(256, '\x01') + std::string(44, '\x02'));
  const Snapshot before = snapshot(tree);

  const RunResult run = runDupsieve({{"-r", "-b0"}, "", tree.path()});

  EXPECT_EQ(run.output, countLines(4, 4, 4, 2) + memberLine("./s/abc", "3", kAbc) +
                            memberLine("./s/xyz", "3", kXyz) + "\n" + prompt("./s/abc") +
                            prompt("./s/xyz") + "\n" +
                            groupBlock({"./t/ones", "./t/twos"}, "300", "40404040"));
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(snapshot(tree), before);
}

#ifndef _WIN32
TEST(EndToEnd, OnATerminalControlBytesInNamesAreEscapedYetTheNamedFileIsDeleted) {
  const TempDir tree;
  tree.write("esc\x1b[2J", "abc");
  tree.write("new\nline", "abc");
  tree.write("plain", "abc");
  const Snapshot before = snapshot(tree);

  const RunResult run =
      runDupsieve({.arguments = {"-r"}, .input = "n y n\n", .workingDirectory = tree.path(),
                   .outputOnTerminal = true});

  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.output, countLines(3, 3, 3, 1) +
                            groupBlock({"./esc\\x1b[2J", "./new\\nline", "./plain"}, "3", kAbc));
  EXPECT_EQ(snapshot(tree), without(before, {"new\nline"}));
}
#endif

TEST(EndToEnd, AFileChangedWhileItsPromptWaitsIsNotDeleted) {
  struct Case {
    std::string what;
    std::function<void(const TempDir&)> meanwhile;
    bool deletedByTheTool;
  };
  const Case cases[] = {
      {"left alone", [](const TempDir&) {}, true},
      {"removed", [](const TempDir& tree) { fs::remove(testing::utf8Path(tree / "a")); }, false},
      {"rewritten to another size", [](const TempDir& tree) { tree.write("a", "abcd"); }, false},
      {"replaced by another file of the same size",
       [](const TempDir& tree) {
         tree.write("a.new", "abc");
         fs::rename(testing::utf8Path(tree / "a.new"), testing::utf8Path(tree / "a"));
       },
       false},
      {"replaced by a directory",
       [](const TempDir& tree) {
         fs::remove(testing::utf8Path(tree / "a"));
         tree.makeDirectory("a");
       },
       false},
  };
  const std::string expected = countLines(2, 2, 2, 1) + groupBlock({"./a", "./b"}, "3", kAbc);

  // Without a head to read (-b0), what the listing reported is all there is
  // to check against.
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"-r"}, std::vector<std::string>{"-r", "-b0"}}) {
    for (const Case& c : cases) {
      const std::string what = c.what + " (" + options.back() + ")";
      const TempDir tree;
      tree.write("a", "abc");
      tree.write("b", "abc");
      Snapshot afterChange;

      const RunResult run = runDupsieve({.arguments = options,
                                           .input = "y\nn\n",
                                           .workingDirectory = tree.path(),
                                           .awaitedText = prompt("./a"),
                                           .whileWaiting = [&] {
                                             c.meanwhile(tree);
                                             afterChange = snapshot(tree);
                                           }});

      ASSERT_TRUE(run.sawText) << what << "; output so far: " << run.output;
      ASSERT_TRUE(run.finished) << what;
      EXPECT_EQ(run.exitStatus, 0) << what;
      EXPECT_EQ(run.output, expected) << what;
      // Whatever the change left behind is still there, unless it is the
      // file that was listed, unchanged.
      EXPECT_EQ(snapshot(tree), c.deletedByTheTool ? without(afterChange, {"a"}) : afterChange)
          << what;
    }
  }
}

}  // namespace
}  // namespace dupsieve
