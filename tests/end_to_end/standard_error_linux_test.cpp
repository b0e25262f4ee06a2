#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/binary_run.h"
#include "tests/support/expected_output.h"
#include "tests/support/temp_dir.h"

namespace dupsieve {
namespace {

using testing::ErrorTo;
using testing::TempDir;
using testing::runDupsieve;
using testing::RunResult;
using testing::countLines;
using testing::groupBlock;

// Standard output must not depend on where standard error goes, and what
// the tool adds on a terminal must not reach a file.
void expectSameOutputAndNothingInAFile(const RunResult& onTerminal, const RunResult& intoFile) {
  ASSERT_TRUE(onTerminal.finished);
  ASSERT_TRUE(intoFile.finished);
  EXPECT_EQ(onTerminal.output, intoFile.output);
  EXPECT_EQ(intoFile.errors, "");
  EXPECT_EQ(onTerminal.exitStatus, 0);
  EXPECT_EQ(intoFile.exitStatus, 0);
}

TEST(StandardError, HintsReachATerminalOnlyAndStandardOutputStaysTheSame) {
  const TempDir tree;
  tree.write("photos/a.jpg", "abc");
  tree.write("photos/b.jpg", "abc");
  const std::vector<std::string> arguments{"--help", "-h", "photos", "backup"};

  const RunResult onTerminal = runDupsieve(
      {.arguments = arguments, .workingDirectory = tree.path(), .error = ErrorTo::Terminal});
  const RunResult intoFile = runDupsieve({arguments, "", tree.path()});

  expectSameOutputAndNothingInAFile(onTerminal, intoFile);
  EXPECT_EQ(intoFile.output, countLines(0, 0, 0, 0));
  EXPECT_EQ(onTerminal.errors,
            "dupsieve has no long options; see man dupsieve\n"
            "-h is not an option of dupsieve; see man dupsieve\n"
            "photos is a directory: give -r to search inside it\n"
            "backup: no such file or directory\n");
}

TEST(StandardError, ARunWithNothingToSayLeavesATerminalUntouched) {
  const TempDir tree;
  tree.write("photos/a.jpg", "abc");
  tree.write("backup/a.jpg", "abc");
  const std::vector<std::string> arguments{"-r", "photos", "backup"};

  const RunResult onTerminal = runDupsieve({.arguments = arguments,
                                            .input = "n n",
                                            .workingDirectory = tree.path(),
                                            .error = ErrorTo::Terminal});
  const RunResult intoFile = runDupsieve({arguments, "n n", tree.path()});

  expectSameOutputAndNothingInAFile(onTerminal, intoFile);
  EXPECT_EQ(intoFile.output,
            countLines(2, 2, 2, 1) + groupBlock({"backup/a.jpg", "photos/a.jpg"}, "3", "636261"));
  EXPECT_EQ(onTerminal.errors, "");
}

}  // namespace
}  // namespace dupsieve
