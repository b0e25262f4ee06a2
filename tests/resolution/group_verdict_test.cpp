#include "resolution/group_verdict.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "resolution/group_reporter.h"
#include "tests/support/expected_output.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/group_report.h"
#include "tests/support/records.h"

namespace dupsieve {
namespace {

using testing::FakeFileSystem;
using testing::OwnedGroup;
using testing::memberLine;
using testing::prompt;

const Notes::Clock kFrozenClock = [] { return std::chrono::steady_clock::time_point{}; };

// The records with a digest cached by the grouping stage, so that the report
// itself reads nothing.
OwnedGroup listedGroup(FakeFileSystem& fake, const std::vector<std::string>& paths) {
  OwnedGroup group;
  for (const std::string& path : paths) group.push_back(testing::listedRecord(fake, path, 1));
  return group;
}

// Whose terminals the streams are, and the time the notes see.
struct Audience {
  bool errorIsTerminal = true;  // a person answering, by default
  bool inputIsTerminal = true;
  Notes::Clock clock = kFrozenClock;
};

// What standard error gets for the group.
std::string notesFor(FakeFileSystem& fake, OwnedGroup group, const std::string& answers,
                     const std::function<void()>& whileWaiting = [] {},
                     const Audience& audience = {}) {
  std::ostringstream err;
  Notes notes(err, audience.errorIsTerminal, audience.inputIsTerminal, audience.clock);
  std::vector<OwnedGroup> groups{std::move(group)};
  testing::reportGroups(fake, groups, notes, answers, whileWaiting);
  return err.str();
}

// 4 KiB alike, then a difference at byte 5,000 (counted from 0).
std::string differingAt5000(char last) { return std::string(5000, 'x') + last + "tail"; }

TEST(GroupVerdict, ComesBetweenTheListingAndThePromptsAndWarnsBeforeALastCopy) {
  FakeFileSystem fake;
  fake.addFile("d/a", "same");
  fake.addFile("d/b", "same");
  OwnedGroup group = listedGroup(fake, {"d/a", "d/b"});

  // Standard output reaches the screen only when flushed, as through a
  // buffer; the notes at once.
  struct ShownWhenFlushed final : std::stringbuf {
    explicit ShownWhenFlushed(std::ostream& to) : screen(to) {}
    int sync() override {
      screen << str();
      str("");
      return 0;
    }
    std::ostream& screen;
  };
  std::ostringstream screen;
  ShownWhenFlushed buffer(screen);
  std::ostream out(&buffer);
  Notes notes(screen, true, true, kFrozenClock);
  std::istringstream in("y n\n");
  GroupReporter(Console{out, in, false, notes}, fake)(group);

  EXPECT_EQ(screen.str(), memberLine("d/a", "4", "1") + memberLine("d/b", "4", "1") + "\n" +
                              "both files are identical, 4 bytes each\n" + prompt("d/a") +
                              "last copy: every other identical file of this group is gone\n" +
                              prompt("d/b") + "\n");
  EXPECT_EQ(fake.deletedPaths, std::vector<std::string>{"d/a"});
}

TEST(GroupVerdict, SaysWhatTheComparisonFound) {
  struct Case {
    std::vector<std::pair<std::string, std::string>> files;     // path, contents
    std::vector<std::pair<std::string, std::string>> hardLinks;  // path, existing path
    std::function<void(FakeFileSystem&)> afterListing;
    std::string verdict;
  };
  const auto nothing = [](FakeFileSystem&) {};
  const auto aWritten = [](FakeFileSystem& fake) { fake.node("d/a").writtenWhileRead = true; };
  const std::vector<Case> cases{
      {{{"d/a", differingAt5000('a')}, {"d/b", differingAt5000('b')}}, {}, nothing,
       "not identical: d/b differs from d/a at byte 5,000\n"},
      {{{"d/a", "abc"}, {"d/b", "abc"}, {"d/c", "abc"}}, {}, nothing,
       "all 3 files are identical, 3 bytes each\n"},
      {{{"d/a", "abcd"}, {"d/b", "abXd"}, {"d/c", "abcd"}, {"d/d", "abXY"}, {"d/e", "abXd"}}, {},
       nothing,
       "identical: d/a and d/c\n"
       "identical: d/b and d/e\n"
       "not identical: d/b differs from d/a at byte 2\n"
       "not identical: d/d differs from d/b at byte 3\n"},
      {{{"d/a", "abc"}, {"d/b", "abc"}, {"d/c", "abc"}}, {},
       [](FakeFileSystem& fake) { fake.node("d/c").failOpen = true; },
       "identical: d/a and d/b\n"
       "d/c could not be read: cannot compare\n"},
      {{{"d/a", "abc"}}, {{"e/a", "d/a"}}, nothing,
       "d/a and e/a are one file (hard links): deleting one frees no space\n"},
      {{{"d/a", "abc"}, {"d/c", "abc"}}, {{"e/a", "d/a"}}, nothing,
       "identical: d/a, d/c and e/a\n"
       "d/a and e/a are one file (hard links): deleting one frees no space\n"},
      // Since the listing: another file by that name, another size, gone.
      {{{"d/a", "abc"}, {"d/b", "abc"}, {"d/c", "abc"}, {"d/d", "abc"}}, {},
       [](FakeFileSystem& fake) {
         fake.remove("d/b");
         fake.addFile("d/b", "abc");
         fake.node("d/c").size = 4;
         fake.remove("d/d");
       },
       "d/b changed since it was listed: not compared\n"
       "d/c changed since it was listed: not compared\n"
       "d/d no longer exists: not compared\n"},
      // Written behind the point read while compared: neither identical nor parted from.
      {{{"d/a", "abcd"}, {"d/b", "abcd"}, {"d/c", "aXcd"}}, {}, aWritten,
       "not identical: d/c differs from d/b at byte 1\nd/a changed since it was listed: not compared\n"},
      {{{"d/a", std::string(3 << 20, 'a')}, {"d/b", std::string(3 << 20, 'b')}}, {}, aWritten,
       "d/a changed since it was listed: not compared\n"},
  };
  for (const Case& c : cases) {
    FakeFileSystem fake;
    std::vector<std::string> paths;
    for (const auto& [path, contents] : c.files) {
      fake.addFile(path, contents);
      paths.push_back(path);
    }
    for (const auto& [path, existing] : c.hardLinks) {
      fake.addHardLink(path, existing);
      paths.push_back(path);
    }
    const OwnedGroup group = listedGroup(fake, paths);
    c.afterListing(fake);
    EXPECT_EQ(notesFor(fake, group, ""), c.verdict);
  }
}

TEST(GroupVerdict, ALastCopyIsTheLastNameThatHoldsTheseContents) {
  FakeFileSystem fake;
  fake.addFile("d/a", "abc");
  fake.addHardLink("d/b", "d/a");
  fake.addFile("d/c", "abc");
  const OwnedGroup group = listedGroup(fake, {"d/a", "d/b", "d/c"});
  const std::string verdict =
      "identical: d/a, d/b and d/c\n"
      "d/a and d/b are one file (hard links): deleting one frees no space\n";
  const std::string lastCopy = "last copy: every other identical file of this group is gone\n";

  // Removing one name leaves the file: no warning before its other name.
  EXPECT_EQ(notesFor(fake, group, "y y n\n", [&] { fake.node("d/c").failOpen = true; }),
            verdict + lastCopy);  // before d/c only: unreadable now, it still holds the data
  EXPECT_EQ(fake.deletedPaths, (std::vector<std::string>{"d/a", "d/b"}));
  // With no copy, its last name is its last copy.
  fake.addFile("d/a", "abc");
  fake.addHardLink("d/b", "d/a");
  EXPECT_EQ(notesFor(fake, listedGroup(fake, {"d/a", "d/b"}), "y y\n"),
            "d/a and d/b are one file (hard links): deleting one frees no space\n" + lastCopy);

  // A copy that something else removes while the person reads counts too.
  FakeFileSystem other;
  other.addFile("d/a", "abc");
  other.addFile("d/c", "abc");
  const OwnedGroup pair = listedGroup(other, {"d/a", "d/c"});
  EXPECT_EQ(notesFor(other, pair, "n n\n", [&] { other.remove("d/a"); }),
            "both files are identical, 3 bytes each\n" + lastCopy);
}

TEST(GroupVerdict, ALongComparisonShowsItsProgressAfterASecondAndErasesIt) {
  FakeFileSystem fake;
  fake.addFile("d/a", "abc");
  fake.addFile("d/b", "abc");
  std::chrono::steady_clock::time_point now;
  const Audience person{true, true, [&now] { return now += std::chrono::milliseconds(600); }};

  // 600 ms after the comparison began nothing shows, 1,200 ms after it does.
  EXPECT_EQ(notesFor(fake, listedGroup(fake, {"d/a", "d/b"}), "", [] {}, person),
            "\rcomparing: 6 of 6 bytes"
            "\r                       \r"
            "both files are identical, 3 bytes each\n");
}

TEST(GroupVerdict, OnceTheAnswersHaveEndedNothingMoreIsCompared) {
  FakeFileSystem fake;
  for (const char* path : {"d/a", "d/b", "e/a", "e/b"}) {
    fake.addFile(path, path[0] == 'd' ? "abc" : "wxyz");
  }
  std::vector<OwnedGroup> groups{listedGroup(fake, {"d/a", "d/b"}), listedGroup(fake, {"e/a", "e/b"})};

  std::ostringstream err;
  Notes notes(err, true, true, kFrozenClock);
  testing::reportGroups(fake, groups, notes, "n");  // ends at the second prompt

  EXPECT_EQ(err.str(), "both files are identical, 3 bytes each\n");
  EXPECT_EQ(fake.bytesRead, 6u);  // d/a and d/b; neither e/a nor e/b
}

TEST(GroupVerdict, NobodyAnsweringAtATerminalGetsNothingAndNothingMoreIsRead) {
  for (const auto& [errorIsTerminal, inputIsTerminal] :
       {std::pair{false, false}, std::pair{true, false}, std::pair{false, true}}) {
    FakeFileSystem fake;
    fake.addFile("d/a", "abc");
    fake.addFile("d/b", "abc");
    fake.addFile("d/c", "abX");
    const Audience script{errorIsTerminal, inputIsTerminal};

    EXPECT_EQ(notesFor(fake, listedGroup(fake, {"d/a", "d/b", "d/c"}), "y n n\n", [] {}, script), "");
    EXPECT_TRUE(fake.readPaths.empty());
    EXPECT_EQ(fake.bytesRead, 0u);
    EXPECT_EQ(fake.deletedPaths, std::vector<std::string>{"d/a"});
  }
}

}  // namespace
}  // namespace dupsieve
