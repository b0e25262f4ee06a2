#include "resolution/deletion_prompt.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/captured_notes.h"
#include "tests/support/answers_after_action.h"
#include "tests/support/expected_output.h"
#include "tests/support/fake_file_system.h"

namespace dupsieve {
namespace {

using testing::AnswersAfterAction;
using testing::prompt;
using testing::FakeFileSystem;
using testing::FakeNode;

// The record the walk would have made for an entry of the fake.
FileRecord listed(FakeFileSystem& fake, const std::string& path) {
  const FakeNode& node = fake.node(path);
  return FileRecord(path, node.size, DirectoryId{7, 1}, node.inode);
}

// Applies one prompt to each record in turn, reading answers from `in`;
// returns everything written.
std::string ask(FakeFileSystem& fake, const std::vector<FileRecord>& records, std::istream& in,
                bool escapeControls = false) {
  std::ostringstream out;
  testing::CapturedNotes notes;
  const DeletionPrompt prompt(ConsoleIo{out, in, escapeControls, fake, notes.notes});
  for (const FileRecord& record : records) prompt(record);
  return out.str();
}

std::string ask(FakeFileSystem& fake, const std::vector<FileRecord>& records,
                const std::string& input) {
  std::istringstream in(input);
  return ask(fake, records, in);
}

// Three listed files of equal contents, as a group would hold them.
struct ThreeCopies {
  ThreeCopies() {
    fake.addFile("d/a", "abc");
    fake.addFile("d/b", "abc");
    fake.addFile("d/c", "abc");
    records = {listed(fake, "d/a"), listed(fake, "d/b"), listed(fake, "d/c")};
  }
  FakeFileSystem fake;
  std::vector<FileRecord> records;
};

const std::string kThreePrompts = prompt("d/a") + prompt("d/b") + prompt("d/c");

TEST(DeletionPromptTest, WritesOnePromptPerFileWithoutLineBreaks) {
  ThreeCopies copies;
  EXPECT_EQ(ask(copies.fake, copies.records, "n n n\n"),
            "Delete d/a ? (y/other): Delete d/b ? (y/other): Delete d/c ? (y/other): ");
  EXPECT_TRUE(copies.fake.deletedPaths.empty());
}

TEST(DeletionPromptTest, OnlyTheWholeWordsLowerAndUpperCaseYDelete) {
  struct Case {
    std::string answer;
    bool deletes;
  };
  const Case cases[] = {
      {"y", true},   {"Y", true},   {"yes", false}, {"Yes", false},      {"YES", false},
      {"n", false},  {"N", false},  {"yy", false},  {"1", false},        {".", false},
      {"y.", false}, {"Yy", false}, {"ye", false},  {"\xc3\xbd", false},
  };
  for (const Case& c : cases) {
    FakeFileSystem fake;
    fake.addFile("d/a", "abc");
    fake.addFile("d/b", "abc");

    const std::string output = ask(fake, {listed(fake, "d/a")}, c.answer + "\n");

    EXPECT_EQ(output, prompt("d/a")) << "answer " << c.answer;
    EXPECT_EQ(fake.exists("d/a"), !c.deletes) << "answer " << c.answer;
    EXPECT_TRUE(fake.exists("d/b")) << "answer " << c.answer;
    EXPECT_EQ(fake.deletedPaths,
              c.deletes ? std::vector<std::string>{"d/a"} : std::vector<std::string>{})
        << "answer " << c.answer;
  }
}

TEST(DeletionPromptTest, SkipsBlanksAndEmptyLinesBeforeTheAnswer) {
  const std::string inputs[] = {
      "   y\n", "\t y\n", "\n\n\ny\n", " \n\t\n  Y", "\r\ny\r\n", "\v\f y",
  };
  for (const std::string& input : inputs) {
    FakeFileSystem fake;
    fake.addFile("d/a", "abc");

    // The prompt is written once however many empty lines come first.
    EXPECT_EQ(ask(fake, {listed(fake, "d/a")}, input), prompt("d/a")) << "input " << input;
    EXPECT_EQ(fake.deletedPaths, std::vector<std::string>{"d/a"}) << "input " << input;
  }
}

TEST(DeletionPromptTest, EachWordAnswersTheNextPromptWhereverTheLinesBreak) {
  struct Case {
    std::string input;
    std::vector<std::string> deleted;
  };
  const Case cases[] = {
      {"y n y\n", {"d/a", "d/c"}},
      {"y   \n\n  n\ny", {"d/a", "d/c"}},
      {"n\ny Y\n", {"d/b", "d/c"}},
      {"n\tn\ty\n", {"d/c"}},
      {"y y y y y\n", {"d/a", "d/b", "d/c"}},
  };
  for (const Case& c : cases) {
    ThreeCopies copies;
    EXPECT_EQ(ask(copies.fake, copies.records, c.input), kThreePrompts) << "input " << c.input;
    EXPECT_EQ(copies.fake.deletedPaths, c.deleted) << "input " << c.input;
  }
}

TEST(DeletionPromptTest, OnceInputHasEndedEveryLaterPromptIsWrittenAndKeepsItsFile) {
  struct Case {
    std::string input;
    std::vector<std::string> deleted;
  };
  const Case cases[] = {
      {"", {}}, {"\n  \n\t", {}}, {"y", {"d/a"}}, {"n y", {"d/b"}}, {"n\n\n", {}},
  };
  for (const Case& c : cases) {
    ThreeCopies copies;
    EXPECT_EQ(ask(copies.fake, copies.records, c.input), kThreePrompts) << "input " << c.input;
    EXPECT_EQ(copies.fake.deletedPaths, c.deleted) << "input " << c.input;
    EXPECT_TRUE(copies.fake.exists("d/c")) << "input " << c.input;
  }
}

TEST(DeletionPromptTest, NeverDeletesADirectory) {
  FakeFileSystem fake;
  fake.addDirectory("d/empty");
  fake.addDirectory("d/full");
  fake.addFile("d/full/inside", "abc");
  fake.addFile("d/zero", "");

  // Listed with size 0, as a directory is when empty entries are included.
  const std::string output = ask(
      fake, {listed(fake, "d/empty"), listed(fake, "d/full"), listed(fake, "d/zero")}, "y y y\n");

  EXPECT_EQ(output, prompt("d/empty") + prompt("d/full") + prompt("d/zero"));
  EXPECT_TRUE(fake.exists("d/empty"));
  EXPECT_TRUE(fake.exists("d/full/inside"));
  EXPECT_EQ(fake.deletedPaths, std::vector<std::string>{"d/zero"});
}

TEST(DeletionPromptTest, AFailedDeletionIsSilentAndTheNextPromptFollows) {
  ThreeCopies copies;
  copies.fake.node("d/a").failDelete = true;

  EXPECT_EQ(ask(copies.fake, copies.records, "y y n\n"), kThreePrompts);
  EXPECT_TRUE(copies.fake.exists("d/a"));
  EXPECT_EQ(copies.fake.deletedPaths, std::vector<std::string>{"d/b"});
}

TEST(DeletionPromptTest, DeletesNothingWhenTheFileChangedWhileThePromptWaited) {
  struct Case {
    std::string what;
    std::function<void(FakeFileSystem&)> meanwhile;
    bool deleted;
  };
  const Case cases[] = {
      {"left alone", [](FakeFileSystem&) {}, true},
      {"rewritten in place, same size",
       [](FakeFileSystem& fake) { fake.node("d/a").contents = "xyz"; }, true},
      {"rewritten longer",
       [](FakeFileSystem& fake) {
         fake.node("d/a").contents = "abcd";
         fake.node("d/a").size = 4;
       },
       false},
      {"truncated to nothing",
       [](FakeFileSystem& fake) {
         fake.node("d/a").contents.clear();
         fake.node("d/a").size = 0;
       },
       false},
      {"removed", [](FakeFileSystem& fake) { fake.removeFile("d/a"); }, false},
      {"replaced by another file of the same size",
       [](FakeFileSystem& fake) {
         fake.removeFile("d/a");
         fake.addFile("d/a", "abc");
       },
       false},
      {"replaced by a directory",
       [](FakeFileSystem& fake) {
         fake.removeFile("d/a");
         fake.addDirectory("d/a");
       },
       false},
      {"replaced by a link",
       [](FakeFileSystem& fake) {
         fake.removeFile("d/a");
         FakeNode link;
         link.attributes = kAttributeSystem;
         fake.addEntry("d/a", link);
       },
       false},
  };
  for (const Case& c : cases) {
    FakeFileSystem fake;
    fake.addFile("d/a", "abc");
    fake.addFile("d/b", "abc");
    const FileRecord record = listed(fake, "d/a");

    std::ostringstream out;
    std::string writtenBeforeTheAnswer;
    AnswersAfterAction answers(
        [&] {
          writtenBeforeTheAnswer = out.str();
          c.meanwhile(fake);
          fake.deletedPaths.clear();  // only what the prompt deletes counts
        },
        "y\n");
    std::istream in(&answers);
    testing::CapturedNotes notes;
    const DeletionPrompt promptFor(ConsoleIo{out, in, false, fake, notes.notes});
    promptFor(record);

    EXPECT_TRUE(answers.actionRan()) << c.what;
    EXPECT_EQ(writtenBeforeTheAnswer, prompt("d/a")) << c.what;
    EXPECT_EQ(out.str(), prompt("d/a")) << c.what;
    EXPECT_EQ(fake.deletedPaths,
              c.deleted ? std::vector<std::string>{"d/a"} : std::vector<std::string>{})
        << c.what;
    EXPECT_TRUE(fake.exists("d/b")) << c.what;
  }
}

TEST(DeletionPromptTest, EscapesControlBytesForATerminalButDeletesTheStoredPath) {
  for (const bool escape : {true, false}) {
    FakeFileSystem fake;
    fake.addFile("d/a\nb", "abc");
    fake.addFile("d/\x1b[2J", "abc");
    std::istringstream in("y y\n");

    const std::string output =
        ask(fake, {listed(fake, "d/a\nb"), listed(fake, "d/\x1b[2J")}, in, escape);

    EXPECT_EQ(output, escape ? prompt("d/a\\nb") + prompt("d/\\x1b[2J")
                             : prompt("d/a\nb") + prompt("d/\x1b[2J"))
        << "escape " << escape;
    EXPECT_EQ(fake.deletedPaths, (std::vector<std::string>{"d/a\nb", "d/\x1b[2J"}))
        << "escape " << escape;
  }
}

}  // namespace
}  // namespace dupsieve
