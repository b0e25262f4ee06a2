#include "resolution/group_reporter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/captured_notes.h"
#include "tests/support/answers_after_action.h"
#include "tests/support/expected_output.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/group_report.h"
#include "tests/support/records.h"

namespace dupsieve {
namespace {

using testing::AnswersAfterAction;
using testing::prompt;
using testing::FakeFileSystem;
using testing::OwnedGroup;
using testing::listedRecord;

// What a script sees on standard output for the groups.
std::string report(FakeFileSystem& fake, std::vector<OwnedGroup>& groups, const std::string& input,
                   bool escapeControls = false) {
  testing::CapturedNotes notes;
  return testing::reportGroups(fake, groups, notes.notes, input, [] {}, escapeControls);
}

constexpr std::uint32_t kDigestOfAbc = 0x636261;  // 'a' 'b' 'c' in lanes 0, 1, 2
constexpr std::uint32_t kDigestOfWxyz = 0x7a797877;

TEST(GroupReporterTest, ListsEveryMemberThenPromptsForEachOnOneLine) {
  FakeFileSystem fake;
  fake.addFile("a/one", "abc");
  fake.addFile("b/two", "abc");
  fake.addFile("c/three", "abc");
  std::vector<OwnedGroup> groups{{listedRecord(fake, "a/one", kDigestOfAbc),
                             listedRecord(fake, "b/two", kDigestOfAbc),
                             listedRecord(fake, "c/three", kDigestOfAbc)}};

  std::ostringstream out;
  std::string writtenBeforeTheFirstAnswer;
  AnswersAfterAction answers([&] { writtenBeforeTheFirstAnswer = out.str(); }, "n y\n");
  std::istream in(&answers);
  testing::CapturedNotes notes;
  const GroupReporter reporter(Console{out, in, false, notes.notes}, fake);
  reporter(groups[0]);

  const std::string listing =
      "a/one\t3\t636261\n"
      "b/two\t3\t636261\n"
      "c/three\t3\t636261\n"
      "\n";
  EXPECT_EQ(writtenBeforeTheFirstAnswer, listing + prompt("a/one"));
  EXPECT_EQ(out.str(), listing + prompt("a/one") + prompt("b/two") + prompt("c/three") + "\n");
  EXPECT_EQ(fake.deletedPaths, std::vector<std::string>{"b/two"});
  // A deleted file keeps its place in the group.
  EXPECT_EQ(groups[0].size(), 3u);
}

TEST(GroupReporterTest, SizesPrintInDecimalAndDigestsInLowerCaseHexWithoutPadding) {
  FakeFileSystem fake;
  struct Member {
    std::string path;
    std::uint64_t size;
    std::uint32_t digest;
  };
  const Member firstGroup[] = {
      {"m/2gib", 2147483648u, 0xABCD},     {"m/4gib-1", 4294967295u, 0xFFFFFFFF},
      {"m/4gib", 4294967296u, 0x80000000}, {"m/5gib", 5368709120u, 0x10},
      {"m/kib", 1536, 0x00A1B2C3},
  };
  const Member secondGroup[] = {{"n/ten", 10, 0x1}, {"n/ff", 255, 0xF}};
  std::vector<OwnedGroup> groups(2);
  for (const Member& m : firstGroup) {
    fake.addSizedFile(m.path, m.size, "zzz");
    groups[0].push_back(listedRecord(fake, m.path, m.digest));
  }
  for (const Member& m : secondGroup) {
    fake.addSizedFile(m.path, m.size, "zzz");
    groups[1].push_back(listedRecord(fake, m.path, m.digest));
  }

  std::istringstream in("");
  std::ostringstream out;
  out << std::hex;  // whatever base the stream was left in
  testing::CapturedNotes notes;
  const GroupReporter reporter(Console{out, in, false, notes.notes}, fake);
  for (OwnedGroup& group : groups) reporter(group);

  EXPECT_EQ(out.str(),
            "m/2gib\t2147483648\tabcd\n"
            "m/4gib-1\t4294967295\tffffffff\n"
            "m/4gib\t4294967296\t80000000\n"
            "m/5gib\t5368709120\t10\n"
            "m/kib\t1536\ta1b2c3\n"
            "\n" +
                prompt("m/2gib") + prompt("m/4gib-1") + prompt("m/4gib") + prompt("m/5gib") +
                prompt("m/kib") +
                "\n"
                "n/ten\t10\t1\n"
                "n/ff\t255\tf\n"
                "\n" +
                prompt("n/ten") + prompt("n/ff") + "\n");
}

TEST(GroupReporterTest, ShowsACachedDigestWithoutOpeningTheFile) {
  FakeFileSystem fake;
  fake.addFile("d/a", "xyz").failOpen = true;
  fake.addFile("d/b", "xyz");
  std::vector<OwnedGroup> groups{{listedRecord(fake, "d/a", 0xABCD), listedRecord(fake, "d/b", kDigestOfAbc)}};

  EXPECT_EQ(report(fake, groups, ""),
            "d/a\t3\tabcd\n"
            "d/b\t3\t636261\n"
            "\n" +
                prompt("d/a") + prompt("d/b") + "\n");
  EXPECT_TRUE(fake.readPaths.empty());
}

TEST(GroupReporterTest, ComputesADigestLeftAtZeroOverAtMost256LeadingBytes) {
  FakeFileSystem fake;
  // Bytes past the first 256 would change every lane of these two sums.
  fake.addFile("z/ones", std::string(256, '\x01') + std::string(44, '\xff'));
  fake.addFile("z/steps", std::string("\x01\x02\x03\x04", 4) + std::string(252, '\0') +
                              std::string(44, '\xff'));
  fake.addSizedFile("z/unreadable", 300, std::string(300, '\x01')).failOpen = true;
  fake.addFile("z/zeros", std::string(300, '\0'));
  fake.addFile("z/short", "abc");
  fake.addFile("e/one", "");
  fake.addFile("e/two", "");
  std::vector<OwnedGroup> groups{
      {listedRecord(fake, "z/ones", 0), listedRecord(fake, "z/steps", 0), listedRecord(fake, "z/unreadable", 0),
       listedRecord(fake, "z/zeros", 0), listedRecord(fake, "z/short", 0)},
      {listedRecord(fake, "e/one", 0), listedRecord(fake, "e/two", 0)}};

  EXPECT_EQ(report(fake, groups, ""),
            "z/ones\t300\t40404040\n"
            "z/steps\t300\t4030201\n"
            "z/unreadable\t300\t0\n"
            "z/zeros\t300\t0\n"
            "z/short\t3\t636261\n"
            "\n" +
                prompt("z/ones") + prompt("z/steps") + prompt("z/unreadable") + prompt("z/zeros") +
                prompt("z/short") +
                "\n"
                "e/one\t0\t0\n"
                "e/two\t0\t0\n"
                "\n" +
                prompt("e/one") + prompt("e/two") + "\n");
  // Three files of 300 bytes read 256 each, the short one all of its 3.
  EXPECT_EQ(fake.bytesRead, 3u * 256u + 3u);
  // The computed digests stay with the records.
  EXPECT_EQ(groups[0][0].digest, 0x40404040u);
  EXPECT_EQ(groups[0][1].digest, 0x04030201u);
  EXPECT_EQ(groups[0][4].digest, kDigestOfAbc);
}

TEST(GroupReporterTest, WordsLeftOverAnswerTheNextGroupsPrompts) {
  FakeFileSystem fake;
  fake.addFile("a/1", "abc");
  fake.addFile("a/2", "abc");
  fake.addFile("b/1", "wxyz");
  fake.addFile("b/2", "wxyz");
  std::vector<OwnedGroup> groups{
      {listedRecord(fake, "a/1", kDigestOfAbc), listedRecord(fake, "a/2", kDigestOfAbc)},
      {listedRecord(fake, "b/1", kDigestOfWxyz), listedRecord(fake, "b/2", kDigestOfWxyz)}};

  EXPECT_EQ(report(fake, groups, "y n y\nn\n"),
            "a/1\t3\t636261\n"
            "a/2\t3\t636261\n"
            "\n" +
                prompt("a/1") + prompt("a/2") +
                "\n"
                "b/1\t4\t7a797877\n"
                "b/2\t4\t7a797877\n"
                "\n" +
                prompt("b/1") + prompt("b/2") + "\n");
  EXPECT_EQ(fake.deletedPaths, (std::vector<std::string>{"a/1", "b/1"}));
}

TEST(GroupReporterTest, AfterInputEndsEveryRemainingGroupIsStillListedAndKept) {
  FakeFileSystem fake;
  fake.addFile("a/1", "abc");
  fake.addFile("a/2", "abc");
  fake.addFile("a/3", "abc");
  fake.addFile("b/1", "wxyz");
  fake.addFile("b/2", "wxyz");
  std::vector<OwnedGroup> groups{
      {listedRecord(fake, "a/1", kDigestOfAbc), listedRecord(fake, "a/2", kDigestOfAbc),
       listedRecord(fake, "a/3", kDigestOfAbc)},
      {listedRecord(fake, "b/1", kDigestOfWxyz), listedRecord(fake, "b/2", kDigestOfWxyz)}};

  EXPECT_EQ(report(fake, groups, "n\ny"),
            "a/1\t3\t636261\n"
            "a/2\t3\t636261\n"
            "a/3\t3\t636261\n"
            "\n" +
                prompt("a/1") + prompt("a/2") + prompt("a/3") +
                "\n"
                "b/1\t4\t7a797877\n"
                "b/2\t4\t7a797877\n"
                "\n" +
                prompt("b/1") + prompt("b/2") + "\n");
  EXPECT_EQ(fake.deletedPaths, std::vector<std::string>{"a/2"});
}

TEST(GroupReporterTest, EscapesControlBytesOnMemberLinesForATerminal) {
  FakeFileSystem fake;
  fake.addFile("d/a\tb", "abc");
  fake.addFile("d/\x1b[31mred\r", "abc");
  std::vector<OwnedGroup> groups{
      {listedRecord(fake, "d/a\tb", kDigestOfAbc), listedRecord(fake, "d/\x1b[31mred\r", kDigestOfAbc)}};
  std::vector<OwnedGroup> sameGroups = groups;

  EXPECT_EQ(report(fake, groups, "y y\n", true),
            "d/a\\tb\t3\t636261\n"
            "d/\\x1b[31mred\\r\t3\t636261\n"
            "\n" +
                prompt("d/a\\tb") + prompt("d/\\x1b[31mred\\r") + "\n");
  EXPECT_EQ(fake.deletedPaths, (std::vector<std::string>{"d/a\tb", "d/\x1b[31mred\r"}));

  // Written to a file or pipe, the names go out byte for byte.
  EXPECT_EQ(report(fake, sameGroups, "", false),
            "d/a\tb\t3\t636261\n"
            "d/\x1b[31mred\r\t3\t636261\n"
            "\n" +
                prompt("d/a\tb") + prompt("d/\x1b[31mred\r") + "\n");
}

TEST(GroupReporterTest, KeepsAFileRewrittenWhileItsPromptWaited) {
  FakeFileSystem fake;
  fake.addFile("d/a", "abc");
  fake.addFile("d/b", "abc");
  std::vector<OwnedGroup> groups{{listedRecord(fake, "d/a", kDigestOfAbc), listedRecord(fake, "d/b", kDigestOfAbc)}};

  std::ostringstream out;
  AnswersAfterAction answers(
      [&] {
        fake.node("d/a").contents = "abcde";
        fake.node("d/a").size = 5;
      },
      "y y\n");
  std::istream in(&answers);
  testing::CapturedNotes notes;
  const GroupReporter reporter(Console{out, in, false, notes.notes}, fake);
  reporter(groups[0]);

  EXPECT_TRUE(answers.actionRan());
  EXPECT_EQ(out.str(),
            "d/a\t3\t636261\n"
            "d/b\t3\t636261\n"
            "\n" +
                prompt("d/a") + prompt("d/b") + "\n");
  EXPECT_TRUE(fake.exists("d/a"));
  EXPECT_EQ(fake.deletedPaths, std::vector<std::string>{"d/b"});
}

}  // namespace
}  // namespace dupsieve
