#include "resolution/notes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/captured_notes.h"

namespace dupsieve {
namespace {

using testing::CapturedNotes;

void writeOneOfEach(Notes& notes) {
  notes.failure("f");
  notes.hint("h");
  notes.forAnswerer("a");
}

TEST(Notes, EachKindReachesOnlyItsAudience) {
  struct Case {
    bool errorIsTerminal;
    bool inputIsTerminal;
    std::string written;
  };
  const Case cases[] = {
      {false, false, "f\n"},        // a script: failures only
      {false, true, "f\n"},         // a person typing, notes going to a file
      {true, false, "f\nh\n"},      // answers piped in, someone watching
      {true, true, "f\nh\na\n"},    // a person at the terminal
  };
  for (const Case& c : cases) {
    CapturedNotes captured(c.errorIsTerminal, c.inputIsTerminal);
    writeOneOfEach(captured.notes);
    EXPECT_EQ(captured.err.str(), c.written)
        << "error terminal " << c.errorIsTerminal << ", input terminal " << c.inputIsTerminal;
  }
}

TEST(Notes, StatusLineIsRewrittenInPlaceAndErasedBeforeOtherLines) {
  CapturedNotes captured(true);
  captured.notes.status("12 files");
  captured.notes.status("7 f");  // shorter: the tail of the longer text is blanked
  captured.notes.hint("next");
  captured.notes.clearStatus();  // nothing left to erase
  EXPECT_EQ(captured.err.str(), "\r12 files"
                                "\r7 f     \r7 f"
                                "\r   \r"
                                "next\n");
}

TEST(Notes, NoStatusLineUnlessStandardErrorIsATerminal) {
  CapturedNotes captured(false);
  captured.notes.status("12 files");
  captured.notes.clearStatus();
  captured.notes.failure("gone");
  EXPECT_EQ(captured.err.str(), "gone\n");
}

TEST(Notes, AStatusIsDueOnlyAfterAQuietIntervalSinceTheLastChange) {
  using std::chrono::milliseconds;
  std::chrono::steady_clock::time_point now;
  std::ostringstream err;
  Notes notes(err, true, false, [&now] { return now; });
  const milliseconds interval = Notes::kStatusInterval;

  EXPECT_FALSE(notes.statusDue());  // a run that ends this soon shows nothing
  now += interval - milliseconds(1);
  EXPECT_FALSE(notes.statusDue());
  now += milliseconds(1);
  EXPECT_TRUE(notes.statusDue());

  notes.status("1");
  EXPECT_FALSE(notes.statusDue());
  now += interval;
  EXPECT_TRUE(notes.statusDue());

  notes.clearStatus();  // the next stage starts quiet too
  EXPECT_FALSE(notes.statusDue());
  now += interval;
  EXPECT_TRUE(notes.statusDue());

  CapturedNotes script(false);
  EXPECT_FALSE(script.notes.statusDue());
}

TEST(Notes, ALongerFirstQuietIntervalHoldsBackOnlyTheFirstStatus) {
  using std::chrono::milliseconds;
  std::chrono::steady_clock::time_point now;
  std::ostringstream err;
  Notes notes(err, true, false, [&now] { return now; });
  const milliseconds second(1000);

  now += second - milliseconds(1);
  EXPECT_FALSE(notes.statusDue(second));
  now += milliseconds(1);
  EXPECT_TRUE(notes.statusDue(second));
  notes.status("1");
  now += Notes::kStatusInterval;  // once one shows, the next follows at the usual pace
  EXPECT_TRUE(notes.statusDue(second));
}

TEST(Notes, TheAccountForAPersonWhoAnsweredAndWhatAnInterruptWrites) {
  struct Case {
    bool errorIsTerminal;
    bool inputIsTerminal;
    std::string account;      // written at the end
    std::string interrupted;  // published at the end, status shown and a prompt waiting
  };
  const std::string line = "1 file deleted, 2.0 kB freed; 1 confirmed deletion failed";
  const Case cases[] = {
      {true, true, line + "\n", "\ninterrupted: " + line + "\n"},
      {true, false, "", "\n"},
      {false, true, "", ""},
  };
  for (const Case& c : cases) {
    CapturedNotes captured(c.errorIsTerminal, c.inputIsTerminal);
    std::vector<std::string> published;
    captured.notes.publishInterruptNote([&](std::string_view note) { published.emplace_back(note); });
    captured.notes.status("123");
    // The status line and the echo of the interrupt are blanked.
    EXPECT_EQ(published.back().substr(0, 7), c.errorIsTerminal ? "\r     \r" : "");
    captured.notes.answered();
    captured.notes.deleted(2000);
    captured.notes.deletionFailed("could not delete x: permission denied");
    captured.notes.clearStatus();
    captured.notes.awaitingAnswer(true);
    EXPECT_EQ(published.back(), c.interrupted);
    captured.err.str("");
    captured.notes.writeAccount();
    EXPECT_EQ(captured.err.str(), c.account);
  }
  CapturedNotes unanswered(true, true);  // no prompt read an answer: no account
  unanswered.notes.writeAccount();
  EXPECT_EQ(unanswered.err.str(), "");
}

TEST(Notes, PathsAreEscapedOnlyForATerminal) {
  EXPECT_EQ(CapturedNotes(true).notes.shownPath("a\x1b[2Jb"), "a\\x1b[2Jb");
  EXPECT_EQ(CapturedNotes(false).notes.shownPath("a\x1b[2Jb"), "a\x1b[2Jb");
}

}  // namespace
}  // namespace dupsieve
