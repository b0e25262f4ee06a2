#include <signal.h>
#include <unistd.h>

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
  ASSERT_EQ(::symlink("photos", (tree / "pictures").c_str()), 0);
  const std::vector<std::string> arguments{"--help", "-h", "photos", "backup", "pictures"};

  const RunResult onTerminal = runDupsieve(
      {.arguments = arguments, .workingDirectory = tree.path(), .error = ErrorTo::Terminal});
  const RunResult intoFile = runDupsieve({arguments, "", tree.path()});

  expectSameOutputAndNothingInAFile(onTerminal, intoFile);
  EXPECT_EQ(intoFile.output, countLines(0, 0, 0, 0));
  EXPECT_EQ(onTerminal.errors,
            "dupsieve has no long options; see man dupsieve\n"
            "-h is not an option of dupsieve; see man dupsieve\n"
            "photos is a directory: give -r to search inside it\n"
            "backup: no such file or directory\n"
            "pictures is a link to a directory: give -r pictures/. to search where it leads\n");
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

TEST(StandardError, ASubdirectoryThatCannotBeOpenedIsCountedOnATerminalOnly) {
  const TempDir tree;
  tree.write("photos/a.jpg", "abc");
  tree.write("photos/locked/b.jpg", "abc");  // refused with EACCES, even to root
  tree.write("photos/c.jpg", "abc");
  const std::vector<std::string> environment{
      std::string("LD_PRELOAD=") + DUPSIEVE_REFUSING_LIBRARY,
      "ASAN_OPTIONS=verify_asan_link_order=0", "DUPSIEVE_UNREADABLE=locked"};
  const std::vector<std::string> arguments{"-r", "photos"};

  const RunResult onTerminal = runDupsieve({.arguments = arguments,
                                            .input = "n n",
                                            .workingDirectory = tree.path(),
                                            .error = ErrorTo::Terminal,
                                            .environment = environment});
  const RunResult intoFile = runDupsieve(
      {.arguments = arguments, .input = "n n", .workingDirectory = tree.path(), .environment = environment});

  expectSameOutputAndNothingInAFile(onTerminal, intoFile);
  EXPECT_EQ(intoFile.output,
            countLines(2, 2, 2, 1) + groupBlock({"photos/a.jpg", "photos/c.jpg"}, "3", "636261"));
  EXPECT_EQ(onTerminal.errors, "1 directory could not be read: what is in it was not searched\n");
}

TEST(StandardError, CtrlCWritesTheAccountSoFarAndEndsTheRunAsInterrupted) {
  const TempDir tree;
  tree.write("d/a", std::string(3000, 'x'));
  tree.write("d/b", std::string(3000, 'x'));
  // Interrupted at the question about the last copy, whose answer never comes.
  const RunResult person = runDupsieve({.arguments = {"-r", "d"},
                                        .input = "y\n",
                                        .workingDirectory = tree.path(),
                                        .error = ErrorTo::TerminalOfInput,
                                        .interruptAfter = "last copy"});

  EXPECT_EQ(person.signal, SIGINT);
  EXPECT_TRUE(person.errors.ends_with(
      "interrupted: 1 file deleted, 3.0 kB freed; 0 confirmed deletions failed\n"))
      << person.errors;
  EXPECT_FALSE(tree.exists("d/a"));
  EXPECT_TRUE(tree.exists("d/b"));
}

TEST(StandardError, ARunOutOfMemorySaysHowFarItCameAndFails) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "a sanitizer maps far more memory than the limit leaves";
#endif
  const TempDir tree;
  // Long names: the lists of this tree need some 8 MB, far more than the
  // limit leaves once the program itself is mapped (the room a second
  // thread's stack would take is no longer a way to fail).
  const std::string longName(200, 'n');
  for (int i = 0; i < 12000; ++i) {
    tree.write(std::to_string(i % 40) + "/" + longName + std::to_string(i), "x");
  }
  const RunResult run = runDupsieve(
      {.arguments = {"-r", "."}, .workingDirectory = tree.path(),
       .constraints = {.addressSpaceLimit = 10'000'000}});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_TRUE(run.errors.starts_with("dupsieve: out of memory after ")) << run.errors;
  EXPECT_TRUE(run.errors.ends_with(" files were found; nothing was deleted\n")) << run.errors;
  EXPECT_EQ(run.output.find("pairs of doubtful files"), std::string::npos);
}

}  // namespace
}  // namespace dupsieve
