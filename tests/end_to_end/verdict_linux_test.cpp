// The verdicts that a person answering at a terminal gets, run after run of
// the built binary with standard input and standard error on a terminal,
// against the same run with both in files.

#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/binary_run.h"
#include "tests/support/temp_dir.h"

namespace dupsieve {
namespace {

using testing::ErrorTo;
using testing::TempDir;
using testing::runDupsieve;
using testing::RunResult;

constexpr std::size_t kLarge = std::size_t{4} << 20;

// Groups in order of size: two names of one file, two files alike in their
// first 4 KiB that differ at byte 5,000, and two large identical files.
void plantGroups(const TempDir& tree) {
  const std::string linked = tree.write("links/a", std::string(300, 'l'));
  ASSERT_EQ(::link(linked.c_str(), (tree / "links/b").c_str()), 0);
  tree.write("differ/a", std::string(5000, 'x') + 'a' + std::string(2999, 'y'));
  tree.write("differ/b", std::string(5000, 'x') + 'b' + std::string(2999, 'y'));
  std::string large;
  for (std::size_t i = 0; large.size() < kLarge; ++i) large += std::to_string(i * 7919) + ' ';
  large.resize(kLarge);
  tree.write("same/a", large);
  tree.write("same/b", large);
}

TEST(Verdict, APersonAnsweringIsToldWhatIsIdenticalAndAScriptGetsNothingAndReadsNoMore) {
  const std::vector<std::string> arguments{"-r", "differ", "links", "same"};
  const std::string answers = "n n n n y n\n";  // y to the first of the identical pair
  const TempDir atTerminal;
  plantGroups(atTerminal);
  const TempDir inFiles;
  plantGroups(inFiles);

  const RunResult person = runDupsieve({.arguments = arguments,
                                        .input = answers,
                                        .workingDirectory = atTerminal.path(),
                                        .error = ErrorTo::TerminalOfInput});
  const RunResult script = runDupsieve({arguments, answers, inFiles.path()});

  ASSERT_TRUE(person.finished);
  ASSERT_TRUE(script.finished);
  EXPECT_EQ(person.errors,
            "links/a and links/b are one file (hard links): deleting one frees no space\n"
            "not identical: differ/b differs from differ/a at byte 5,000\n"
            "both files are identical, 4.2 MB each\n"
            "last copy: every other identical file of this group is gone\n"
            "1 file deleted, 4.2 MB freed; 0 confirmed deletions failed\n");
  EXPECT_EQ(script.errors, "");
  EXPECT_EQ(person.output, script.output);
  EXPECT_EQ(person.exitStatus, 0);
  EXPECT_EQ(script.exitStatus, 0);
  for (const TempDir* tree : {&atTerminal, &inFiles}) {
    EXPECT_FALSE(tree->exists("same/a"));
    EXPECT_TRUE(tree->exists("same/b"));
  }
  // The comparison reads both large files whole; the script's run reads no
  // more than their first bytes (and what every run reads besides).
  EXPECT_GE(person.bytesRead, 2 * kLarge) << "script: " << script.bytesRead;
  EXPECT_LT(script.bytesRead, kLarge / 4) << "person: " << person.bytesRead;
}

TEST(Verdict, AFileThatCannotBeReadIsSaidSo) {
  const TempDir tree;
  tree.write("zeros/a", std::string(600, '\0'));
  tree.write("zeros/locked", std::string(600, '\0'));  // digest 0, as unreadable files have
  tree.write("zeros/sub/locked/c", "c");  // a directory refused too: counted, not searched
  const std::vector<std::string> environment{
      std::string("LD_PRELOAD=") + DUPSIEVE_REFUSING_LIBRARY,
      "ASAN_OPTIONS=verify_asan_link_order=0", "DUPSIEVE_UNREADABLE=locked"};

  const RunResult person = runDupsieve({.arguments = {"-r", "zeros"},
                                        .input = "n n\n",
                                        .workingDirectory = tree.path(),
                                        .error = ErrorTo::TerminalOfInput,
                                        .environment = environment});

  ASSERT_TRUE(person.finished);
  EXPECT_EQ(person.exitStatus, 0);
  EXPECT_EQ(person.errors, "1 directory could not be read: what is in it was not searched\n"
                           "zeros/locked could not be read: cannot compare\n"
                           "0 files deleted, 0 bytes freed; 0 confirmed deletions failed\n");
}

}  // namespace
}  // namespace dupsieve
