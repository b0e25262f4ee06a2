#include "resolution/deletion_prompt.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/captured_notes.h"
#include "tests/support/answers_after_action.h"
#include "tests/support/expected_output.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/records.h"

namespace dupsieve {
namespace {

using testing::AnswersAfterAction;
using testing::prompt;
using testing::FakeFileSystem;
using testing::listedRecord;


// Applies one prompt to each record in turn, reading answers from `in`;
// returns everything written to standard output, and puts the notes on
// standard error into `notesWritten` when asked.
std::string ask(FakeFileSystem& fake, const std::vector<FileRecord>& records, std::istream& in,
                bool escapeControls = false, std::string* notesWritten = nullptr,
                bool errorIsTerminal = false, bool inputIsTerminal = false) {
  std::ostringstream out;
  testing::CapturedNotes notes(errorIsTerminal, inputIsTerminal);
  const DeletionPrompt prompt(Console{out, in, escapeControls, notes.notes}, fake);
  for (const FileRecord& record : records) prompt(record);
  if (notesWritten != nullptr) *notesWritten = notes.err.str();
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
    records = {listedRecord(fake, "d/a"), listedRecord(fake, "d/b"), listedRecord(fake, "d/c")};
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

    const std::string output = ask(fake, {listedRecord(fake, "d/a")}, c.answer + "\n");

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
    EXPECT_EQ(ask(fake, {listedRecord(fake, "d/a")}, input), prompt("d/a")) << "input " << input;
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

TEST(DeletionPromptTest, APersonWhoAnsweredAWordBeginningWithYIsToldTheFileWasKept) {
  const std::string kept = "kept d/a: only a lone y or Y deletes\n";
  const std::pair<std::string, std::string> cases[] = {
      {"yes", kept}, {"Yes", kept}, {"yy", kept}, {"no", ""}, {"y", ""}};
  for (const bool person : {true, false}) {  // answers from a script are not told
    for (const auto& [answer, said] : cases) {
      ThreeCopies copies;
      std::istringstream in(answer + "\n");
      std::string notes;
      EXPECT_EQ(ask(copies.fake, copies.records, in, false, &notes, true, person), kThreePrompts);
      EXPECT_EQ(notes, person ? said : "") << answer;
      EXPECT_EQ(copies.fake.exists("d/a"), answer != "y") << answer;
    }
  }
}

TEST(DeletionPromptTest, AWordOfMegabytesIsPassedOverAndTheNextWordAnswersTheNextPrompt) {
  for (const char letter : {'y', 'n'}) {
    ThreeCopies copies;
    std::istringstream in(std::string(8 << 20, letter) + "\ty\nn");
    EXPECT_EQ(ask(copies.fake, copies.records, in), kThreePrompts);
    EXPECT_EQ(copies.fake.deletedPaths, std::vector<std::string>{"d/b"}) << letter;
  }
}

TEST(DeletionPromptTest, TheNotesKeepTheAccountOfDeletionsAndFailures) {
  // A name whose file has another name left frees nothing: here d/b is a
  // second name of d/a, so only the last of the two frees its bytes.
  for (const bool hardLink : {false, true}) {
    ThreeCopies copies;
    if (hardLink) {
      copies.fake.remove("d/b");
      copies.fake.addHardLink("d/b", "d/a");
      copies.records[1] = listedRecord(copies.fake, "d/b");
    }
    copies.fake.node("d/c").deleteFailsWith = Removal::PermissionDenied;
    std::istringstream in(hardLink ? "y y y\n" : "y yes y\n");
    std::ostringstream out;
    testing::CapturedNotes notes(true, true);
    const DeletionPrompt prompt(Console{out, in, false, notes.notes}, copies.fake);
    for (const FileRecord& record : copies.records) prompt(record);
    notes.notes.writeAccount();
    EXPECT_TRUE(notes.err.str().ends_with(
        hardLink ? "\n2 files deleted, 3 bytes freed; 1 confirmed deletion failed\n"
                 : "\n1 file deleted, 3 bytes freed; 1 confirmed deletion failed\n"))
        << notes.err.str();
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

TEST(DeletionPromptTest, NeverDeletesADirectoryAndSaysSo) {
  FakeFileSystem fake;
  fake.addDirectory("d/empty");
  fake.addDirectory("d/full");
  fake.addFile("d/full/inside", "abc");
  fake.addFile("d/zero", "");

  // Listed with size 0, as a directory is when empty entries are included.
  std::istringstream in("y y y\n");
  std::string notes;
  const std::string output = ask(
      fake, {listedRecord(fake, "d/empty"), listedRecord(fake, "d/full"), listedRecord(fake, "d/zero")}, in, false,
      &notes);

  EXPECT_EQ(output, prompt("d/empty") + prompt("d/full") + prompt("d/zero"));
  EXPECT_TRUE(fake.exists("d/empty"));
  EXPECT_TRUE(fake.exists("d/full/inside"));
  EXPECT_EQ(fake.deletedPaths, std::vector<std::string>{"d/zero"});
  EXPECT_EQ(notes,
            "could not delete d/empty: it is a directory\n"
            "could not delete d/full: it is a directory\n");
}

TEST(DeletionPromptTest, ARefusedDeletionIsReportedWithItsReasonAndTheNextPromptFollows) {
  const std::pair<Removal, std::string> refusals[] = {
      {Removal::PermissionDenied, "permission denied"},
      {Removal::InUse, "it is in use"},
      {Removal::ReadOnly, "the file system is read-only"},
      {Removal::Refused, "the system refused it"},
  };
  for (const auto& [refusal, reason] : refusals) {
    ThreeCopies copies;
    copies.fake.node("d/a").deleteFailsWith = refusal;
    std::istringstream in("y y n\n");
    std::string notes;

    // Standard output is exactly as without the refusal.
    EXPECT_EQ(ask(copies.fake, copies.records, in, false, &notes), kThreePrompts) << reason;
    EXPECT_TRUE(copies.fake.exists("d/a")) << reason;
    EXPECT_EQ(copies.fake.deletedPaths, std::vector<std::string>{"d/b"}) << reason;
    EXPECT_EQ(notes, "could not delete d/a: " + reason + "\n");
  }
}

TEST(DeletionPromptTest, AFailureNoteEscapesThePathOnlyWhenStandardErrorIsATerminal) {
  for (const bool errorIsTerminal : {false, true}) {
    FakeFileSystem fake;
    fake.addFile("d/\x1b[2Jx", "abc").deleteFailsWith = Removal::PermissionDenied;
    std::istringstream in("y\n");
    std::string notes;
    ask(fake, {listedRecord(fake, "d/\x1b[2Jx")}, in, false, &notes, errorIsTerminal);
    EXPECT_EQ(notes, errorIsTerminal ? "could not delete d/\\x1b[2Jx: permission denied\n"
                                     : "could not delete d/\x1b[2Jx: permission denied\n");
  }
}

TEST(DeletionPromptTest, NothingIsDeletedThroughADirectorySwappedForALink) {
  // The file was listed in d; before the answer, d is swapped for a link
  // to a directory outside that holds a file of the same name and size.
  FakeFileSystem fake;
  fake.addFile("t/d/victim", "abc");
  fake.addFile("outside/victim", "abc");
  fake.addLink("t/link", "../outside");
  const FileRecord record = listedRecord(fake, "t/d/victim");
  fake.swap("t/d", "t/link");
  std::istringstream in("y\n");
  std::string notes;

  ask(fake, {record}, in, false, &notes);

  EXPECT_TRUE(fake.exists("outside/victim"));
  EXPECT_TRUE(fake.exists("t/link/victim"));
  EXPECT_TRUE(fake.deletedPaths.empty());
  EXPECT_EQ(notes,
            "could not delete t/d/victim: "
            "its directory was moved or replaced after it was listed\n");
}

TEST(DeletionPromptTest, DeletesNothingWhenTheFileChangedWhileThePromptWaitedAndSaysWhy) {
  const std::string changed = "could not delete d/a: it changed after it was listed\n";
  struct Case {
    std::string what;
    std::function<void(FakeFileSystem&)> meanwhile;
    std::string note;  // empty when the file is deleted
  };
  const Case cases[] = {
      {"left alone", [](FakeFileSystem&) {}, ""},
      {"rewritten in place, same size",
       [](FakeFileSystem& fake) { fake.node("d/a").contents = "xyz"; }, ""},
      {"rewritten longer",
       [](FakeFileSystem& fake) {
         fake.node("d/a").contents = "abcd";
         fake.node("d/a").size = 4;
       },
       changed},
      {"truncated to nothing",
       [](FakeFileSystem& fake) {
         fake.node("d/a").contents.clear();
         fake.node("d/a").size = 0;
       },
       changed},
      {"removed", [](FakeFileSystem& fake) { fake.remove("d/a"); },
       "could not delete d/a: it no longer exists\n"},
      {"its directory removed", [](FakeFileSystem& fake) { fake.remove("d"); },
       "could not delete d/a: it no longer exists\n"},
      {"replaced by another file of the same size",
       [](FakeFileSystem& fake) {
         fake.remove("d/a");
         fake.addFile("d/a", "abc");
       },
       changed},
      {"replaced by a directory",
       [](FakeFileSystem& fake) {
         fake.remove("d/a");
         fake.addDirectory("d/a");
       },
       changed},
      {"replaced by a link", [](FakeFileSystem& fake) {
         fake.remove("d/a");
         fake.addLink("d/a", "b");
       },
       changed},
      {"its directory replaced by another holding the same name",
       [](FakeFileSystem& fake) {
         fake.addFile("e/a", "abc");
         fake.swap("d", "e");
       },
       "could not delete d/a: its directory was moved or replaced after it was listed\n"},
  };
  for (const Case& c : cases) {
    FakeFileSystem fake;
    fake.addFile("d/a", "abc");
    fake.addFile("d/b", "abc");
    fake.addFile("keep", "abc");
    const FileRecord record = listedRecord(fake, "d/a");

    std::ostringstream out;
    std::string writtenBeforeTheAnswer;
    AnswersAfterAction answers(
        [&] {
          writtenBeforeTheAnswer = out.str();
          c.meanwhile(fake);
        },
        "y\n");
    std::istream in(&answers);
    testing::CapturedNotes notes;
    const DeletionPrompt promptFor(Console{out, in, false, notes.notes}, fake);
    promptFor(record);

    EXPECT_TRUE(answers.actionRan()) << c.what;
    EXPECT_EQ(writtenBeforeTheAnswer, prompt("d/a")) << c.what;
    EXPECT_EQ(out.str(), prompt("d/a")) << c.what;
    EXPECT_EQ(fake.deletedPaths,
              c.note.empty() ? std::vector<std::string>{"d/a"} : std::vector<std::string>{})
        << c.what;
    EXPECT_EQ(notes.err.str(), c.note) << c.what;
    EXPECT_TRUE(fake.exists("keep")) << c.what;
  }
}

TEST(DeletionPromptTest, EscapesControlBytesForATerminalButDeletesTheStoredPath) {
  for (const bool escape : {true, false}) {
    FakeFileSystem fake;
    fake.addFile("d/a\nb", "abc");
    fake.addFile("d/\x1b[2J", "abc");
    std::istringstream in("y y\n");

    const std::string output =
        ask(fake, {listedRecord(fake, "d/a\nb"), listedRecord(fake, "d/\x1b[2J")}, in, escape);

    EXPECT_EQ(output, escape ? prompt("d/a\\nb") + prompt("d/\\x1b[2J")
                             : prompt("d/a\nb") + prompt("d/\x1b[2J"))
        << "escape " << escape;
    EXPECT_EQ(fake.deletedPaths, (std::vector<std::string>{"d/a\nb", "d/\x1b[2J"}))
        << "escape " << escape;
  }
}

}  // namespace
}  // namespace dupsieve
