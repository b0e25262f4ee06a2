// The built binary where the system refuses it something: a closed
// standard output, a sandbox that refuses calls, a low open-file limit, a
// deletion that fails, FIFOs where files are expected.

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/binary_run.h"
#include "tests/support/expected_output.h"
#include "tests/support/temp_dir.h"

namespace dupsieve {
namespace {

using testing::countLines;
using testing::groupBlock;
using testing::runDupsieve;
using testing::RingRefusal;
using testing::RunResult;
using testing::TempDir;

constexpr char kAbc[] = "636261";

std::size_t countLinesOf(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Ended by itself with status 0, not by a signal or the time limit.
void expectEndedNormally(const RunResult& run) {
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.exitStatus, 0);
}

TEST(RestrictedPlaces, AClosedStandardOutputStillReadsEveryAnswerAndEndsWithStatusZero) {
  const TempDir tree;
  tree.write("a", "abc");
  tree.write("b", "abc");

  const RunResult run = runDupsieve({.arguments = {"-r"},
                                     .input = "y\nn\n",
                                     .workingDirectory = tree.path(),
                                     .constraints = {.outputClosed = true}});

  expectEndedNormally(run);
  EXPECT_FALSE(tree.exists("a"));
  EXPECT_TRUE(tree.exists("b"));
}

TEST(RestrictedPlaces, ARefusedStatusCallFallsBackAndFindsEveryFile) {
  const TempDir tree;
  tree.write("d/a", "abc");
  tree.write("d/b", "abc");

  const RunResult run = runDupsieve({.arguments = {"-r", "d"},
                                     .workingDirectory = tree.path(),
                                     .constraints = {.refusedCalls = "statx"}});

  expectEndedNormally(run);
  EXPECT_EQ(run.output, countLines(2, 2, 2, 1) + groupBlock({"d/a", "d/b"}, "3", kAbc));
}

TEST(RestrictedPlaces, AConfirmedDeletionThatFailsIsReportedOnStandardErrorOnly) {
  const TempDir tree;
  tree.write("a", "abc");
  tree.write("b", "abc");

  const RunResult run = runDupsieve({.arguments = {"-r"},
                                     .input = "y\nn\n",
                                     .workingDirectory = tree.path(),
                                     .constraints = {.refusedCalls = "unlinkat"}});

  expectEndedNormally(run);
  EXPECT_EQ(run.output, countLines(2, 2, 2, 1) + groupBlock({"./a", "./b"}, "3", kAbc));
  EXPECT_EQ(run.errors, "could not delete ./a: permission denied\n");
  EXPECT_TRUE(tree.exists("a"));
}

TEST(RestrictedPlaces, ADeletionRefusedForWantOfPermissionSaysSo) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can run it as a user whose permission counts";
  const TempDir tree;
  tree.write("a", "abc");
  tree.write("b", "abc");
  // Searchable by anyone, writable by its owner (root) only: EACCES.
  std::filesystem::permissions(tree.path(), std::filesystem::perms(0755));
  const RunResult run = runDupsieve({.arguments = {"-r"},
                                     .input = "y\nn\n",
                                     .workingDirectory = tree.path(),
                                     .constraints = {.unprivileged = true}});
  expectEndedNormally(run);
  EXPECT_EQ(run.errors, "could not delete ./a: permission denied\n");
  EXPECT_TRUE(tree.exists("a"));
}

TEST(RestrictedPlaces, FifosNamedWithoutWildcardsAreNeitherRecordedNorOpened) {
  const TempDir tree;
  ASSERT_EQ(::mkfifo((tree / "one").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo((tree / "two").c_str(), 0600), 0);

  // With -z, entries of size 0 count: a FIFO taken for an empty file would
  // be listed, and opening it to digest it could wait for a writer forever.
  const RunResult run = runDupsieve({{"-z", "one", "two"}, "", tree.path()});

  expectEndedNormally(run);
  EXPECT_EQ(run.output, countLines(0, 0, 0, 0));
}

TEST(RestrictedPlaces, ATreeDeeperThanTheOpenFileLimitIsSearchedAndDeletedInWhole) {
  // 1,500 levels under a hard limit of 256 open files.
  constexpr int kDepth = 1500;
  const TempDir tree;
  tree.write("t/copy", "abc");
  std::string deep = "t";
  for (int level = 0; level < kDepth; ++level) {
    deep += "/d";
    ASSERT_EQ(::mkdir((tree / deep).c_str(), 0700), 0) << level;
  }
  tree.write(deep + "/deep", "abc");

  const RunResult run = runDupsieve({.arguments = {"-r", "t"},
                                     .input = "n y\n",
                                     .workingDirectory = tree.path(),
                                     .constraints = {.openFileLimit = 256}});

  expectEndedNormally(run);
  // Compared quietly: a failure would print the 3,000-byte path many times.
  ASSERT_EQ(run.output.substr(0, run.output.find("\n\n") + 2), countLines(2, 2, 2, 1));
  EXPECT_TRUE(run.output ==
              countLines(2, 2, 2, 1) + groupBlock({"t/copy", deep + "/deep"}, "3", kAbc));
  EXPECT_TRUE(tree.exists("t/copy"));
  EXPECT_FALSE(tree.exists(deep + "/deep"));

  // Taken down from the bottom: removing it whole would hold a directory
  // open per level.
  for (; deep != "t"; deep.resize(deep.size() - 2)) ::rmdir((tree / deep).c_str());
}

TEST(RestrictedPlaces, FilesUnderPathsLongerThanPathMaxAreReadAndDeletedLikeAnyOther) {
  const TempDir tree;
  tree.write("t/copy", "abc");
  // Made level by level relative to the one above: no call takes the path.
  const std::string level(200, 'd');
  std::vector<int> levels{::open((tree / "t").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  std::string deep = "t";
  for (; deep.size() <= PATH_MAX; deep += "/" + level) {
    ASSERT_EQ(::mkdirat(levels.back(), level.c_str(), 0700), 0);
    levels.push_back(::openat(levels.back(), level.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  }
  const int file = ::openat(levels.back(), "deep", O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(::write(file, "abc", 3) + ::close(file), 3);

  const RunResult run = runDupsieve({{"-r", "t"}, "n y\n", tree.path()});
  expectEndedNormally(run);
  // The short path's digest (both heads were read), then deleted.
  EXPECT_TRUE(run.output ==
              countLines(2, 2, 2, 1) + groupBlock({"t/copy", deep + "/deep"}, "3", kAbc));
  EXPECT_NE(::faccessat(levels.back(), "deep", F_OK, 0), 0);
  for (std::size_t k = levels.size() - 1; k > 0; --k) {
    ::close(levels[k]);
    ::unlinkat(levels[k - 1], level.c_str(), AT_REMOVEDIR);
  }
  ::close(levels[0]);
}

TEST(RestrictedPlaces, UnderAVeryLowOpenFileLimitEveryFileOfADeepTreeIsFoundAndRead) {
  // 60 levels of 6 files, some alike across levels, under a limit of 12
  // open files: fewer than the levels, and than what the walk and the head
  // reads would hold by default.
  const TempDir tree;
  std::string level = "t";
  for (int depth = 0; depth < 60; ++depth, level += "/d") {
    for (int file = 0; file < 6; ++file) {
      tree.write(level + "/f" + std::to_string(file), std::to_string((depth * 6 + file) % 97));
    }
  }
  const RunResult free = runDupsieve({{"-r", "t"}, "", tree.path()});
  const RunResult bound = runDupsieve(
      {.arguments = {"-r", "t"}, .workingDirectory = tree.path(), .constraints = {.openFileLimit = 12}});
  expectEndedNormally(bound);
  EXPECT_NE(free.output.find("360 files were found."), std::string::npos);
  EXPECT_TRUE(bound.output == free.output);
  EXPECT_EQ(bound.errors, "");
}

// Refused from the start, or set up and then refused every submission (the
// ring then takes every head read, so the whole run meets the refusal).
TEST(RestrictedPlaces, WhereIoUringIsRefusedTheSameBytesComeThroughPlainCalls) {
  // Many files in several directories: copies, files that part after the
  // first block, heads longer than the engines' chunks when the whole file
  // is the sample, and answers that delete some of them.
  const TempDir tree;
  for (int i = 0; i < 400; ++i) {
    std::string name = "d";
    name.append(std::to_string(i % 7)).append("/f").append(std::to_string(i));
    const std::size_t size = 1 + static_cast<std::size_t>(i % 5) * (i % 3 == 0 ? 40000 : 300);
    std::string contents(size, static_cast<char>('a' + i % 4));
    if (i % 6 == 0) contents.back() = 'Z';
    tree.write(name, contents);
  }
  for (const RingRefusal refused : {RingRefusal::Setup, RingRefusal::Enter}) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"-r"}, std::vector<std::string>{"-r", "-b-1"}}) {
      const TempDir ringTree;
      const TempDir plainTree;
      for (const TempDir* copy : {&ringTree, &plainTree}) {
        std::filesystem::copy(tree.path(), copy->path(), std::filesystem::copy_options::recursive);
      }
      const std::string answers = "n y n n y\n";
      const RunResult ring = runDupsieve({arguments, answers, ringTree.path()});
      const RunResult plain = runDupsieve({.arguments = arguments,
                                           .input = answers,
                                           .workingDirectory = plainTree.path(),
                                           .constraints = {.ringRefused = refused}});
      const auto shown = ::testing::Message() << "with " << arguments.back() << ", refused "
                                              << static_cast<int>(refused);
      expectEndedNormally(ring);
      expectEndedNormally(plain);
      EXPECT_GT(countLinesOf(ring.output), 400u);
      EXPECT_TRUE(ring.output == plain.output) << shown;
      EXPECT_EQ(plain.errors, "") << shown;
    }
  }
}

TEST(RestrictedPlaces, WhereNoSecondThreadCanStartTheFirstDoesAllTheWork) {
  // Batches large enough to be shared, and a stack limit no thread's stack
  // can be mapped for (a process limit does not bind root).
  const TempDir tree;
  for (int i = 0; i < 300; ++i) tree.write("d/f" + std::to_string(i), std::to_string(i % 7));
  const RunResult free = runDupsieve({{"-r", "d"}, "", tree.path()});
  const RunResult bound = runDupsieve(
      {.arguments = {"-r", "d"}, .workingDirectory = tree.path(), .constraints = {.stackLimit = 1UL << 45}});
  expectEndedNormally(bound);
  EXPECT_GT(countLinesOf(free.output), 300u);
  EXPECT_TRUE(bound.output == free.output);
  EXPECT_EQ(bound.errors, "");
}

}  // namespace
}  // namespace dupsieve
