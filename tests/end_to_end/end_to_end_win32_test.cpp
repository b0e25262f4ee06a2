// The built program as a Windows user meets it: line ends, drives and files
// that another program holds.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/windows/system_path.h"
#include "tests/support/expected_output.h"
#include "tests/support/binary_run.h"
#include "tests/support/platform_support.h"
#include "tests/support/temp_dir.h"
#include "tests/support/windows_fixtures_win32.h"

namespace dupsieve {
namespace {

using windows::systemPath;

using testing::countLines;
using testing::groupBlock;
using testing::memberLine;
using testing::prompt;
using testing::runDupsieve;
using testing::RunResult;
using testing::TempDir;

constexpr char kAbc[] = "636261";

TEST(EndToEndOnWindows, LinesEndInCrLfAsInEveryTextStreamHere) {
  const TempDir tree;
  tree.write("a", "abc");
  tree.write("b", "abc");

  const RunResult run = runDupsieve({{"-r"}, "", tree.path()});

  std::string expected;
  for (const char c : countLines(2, 2, 2, 1) + groupBlock({"./a", "./b"}, "3", kAbc)) {
    if (c == '\n') expected += '\r';
    expected += c;
  }
  EXPECT_EQ(run.rawOutput, expected);
}

TEST(EndToEndOnWindows, ADriveIsSearchedWholeFromItsNameWithOrWithoutItsBackslash) {
  const TempDir tree;
  tree.write("stick/a", "abc");
  tree.write("stick/photos/b", "abc");
  tree.write("stick/lone", "hello");
  const testing::MappedDrive drive(tree / "stick");
  ASSERT_FALSE(drive.name().empty()) << "no drive letter could be mapped";
  const std::string a = drive.name() + "/a";
  const std::string b = drive.name() + "/photos/b";

  for (const std::string& operand : {drive.name() + "\\", drive.name()}) {
    const RunResult run = runDupsieve({{"-r", operand}, "n n\n", tree.path()});
    EXPECT_EQ(run.output, countLines(3, 3, 2, 1) + groupBlock({a, b}, "3", kAbc)) << operand;
    EXPECT_EQ(run.exitStatus, 0);
  }
  const RunResult run = runDupsieve({{"-r", drive.name()}, "y n\n", tree.path()});
  EXPECT_EQ(run.output, countLines(3, 3, 2, 1) + groupBlock({a, b}, "3", kAbc));
  EXPECT_FALSE(tree.exists("stick/a"));
  EXPECT_EQ(tree.read("stick/photos/b"), "abc");
}

TEST(EndToEndOnWindows, AFileHeldExclusivelyStaysListedWithDigestZero) {
  const TempDir tree;
  tree.write("a", "abc");
  tree.write("b", "abc");
  tree.write("held", "abc");
  tree.write("held-too", "xyz");
  const testing::ExclusiveHold hold(tree / "held");
  const testing::ExclusiveHold holdToo(tree / "held-too");
  ASSERT_TRUE(hold.held() && holdToo.held());

  // Unreadable, the two held files have digest 0 and make a group of their
  // own size; grouped by size alone, each stays beside its copies.
  const RunResult bySample = runDupsieve({{"-r"}, "", tree.path()});
  EXPECT_EQ(bySample.output, countLines(4, 4, 4, 2) + groupBlock({"./held", "./held-too"}, "3", "0") +
                                 groupBlock({"./a", "./b"}, "3", kAbc));
  const RunResult bySize = runDupsieve({{"-r", "-b0"}, "", tree.path()});
  EXPECT_EQ(bySize.output, countLines(4, 4, 4, 1) + memberLine("./a", "3", kAbc) +
                               memberLine("./b", "3", kAbc) + memberLine("./held", "3", "0") +
                               memberLine("./held-too", "3", "0") + "\n" + prompt("./a") +
                               prompt("./b") + prompt("./held") + prompt("./held-too") + "\n");
}

TEST(EndToEndOnWindows, AConfirmedDeletionThatTheSystemRefusesIsReportedOnStandardError) {
  struct Case {
    std::string what;
    std::function<bool(const std::string& file)> refuse;  // true once in place
    std::string reason;
  };
  // A hold that lasts for the rest of a case.
  std::unique_ptr<testing::ExclusiveHold> hold;
  const Case cases[] = {
      {"held by a program that lets others read it but not delete it",
       [&](const std::string& file) {
         hold = std::make_unique<testing::ExclusiveHold>(file, FILE_SHARE_READ | FILE_SHARE_WRITE);
         return hold->held();
       },
       "it is in use"},
      {"read-only",
       [](const std::string& file) {
         return ::SetFileAttributesW(systemPath(file).c_str(), FILE_ATTRIBUTE_READONLY) != 0;
       },
       "permission denied"},
  };
  for (const Case& c : cases) {
    const TempDir tree;
    tree.write("a", "abc");
    tree.write("b", "abc");
    ASSERT_TRUE(c.refuse(tree / "a")) << c.what;

    const RunResult run = runDupsieve({{"-r"}, "y y\n", tree.path()});

    // Standard output is what it would be had the deletion gone through.
    EXPECT_EQ(run.output, countLines(2, 2, 2, 1) + groupBlock({"./a", "./b"}, "3", kAbc))
        << c.what;
    EXPECT_EQ(run.exitStatus, 0) << c.what;
    EXPECT_EQ(testing::textFromOutput(run.errors), "could not delete ./a: " + c.reason + "\n")
        << c.what;
    EXPECT_EQ(tree.read("a"), "abc") << c.what;
    EXPECT_FALSE(tree.exists("b")) << c.what;
    hold.reset();
    ::SetFileAttributesW(systemPath(tree / "a").c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

}  // namespace
}  // namespace dupsieve
