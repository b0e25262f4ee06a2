#include "resolution/notes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

#include "resolution/number_text.h"
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
  const std::string line = "1 file deleted, 2.0 kB freed; 1 confirmed deletion failed\n";
  // Standard error and input terminals; the account; the interrupt's note.
  const std::tuple<bool, bool, std::string, std::string> cases[] = {
      {true, true, line, "\ninterrupted: " + line}, {true, false, "", "\n"}, {false, true, "", ""}};
  for (const auto& [errorIsTerminal, inputIsTerminal, account, interrupted] : cases) {
    CapturedNotes captured(errorIsTerminal, inputIsTerminal);
    std::string published;
    captured.notes.publishInterruptNote([&](std::string_view note) { published = note; });
    captured.notes.writeAccount();  // nothing answered yet: no account
    captured.notes.status("123");   // the status line and the echo of ^C are blanked
    EXPECT_EQ(published.substr(0, 7), errorIsTerminal ? "\r     \r" : "");
    captured.notes.answered();
    captured.notes.deleted(2000);
    captured.notes.deletionFailed("f");
    captured.notes.clearStatus();
    captured.notes.awaitingAnswer(true);  // the cursor stands after a prompt
    EXPECT_EQ(published, interrupted);
    captured.notes.writeAccount();
    const std::string erased = errorIsTerminal ? "\r123\r   \r" : "";
    EXPECT_EQ(captured.err.str(), erased + "f\n" + account);
  }
}

TEST(Notes, NumbersGroupedInThreesAndBytesInDecimalUnits) {
  const std::pair<std::uint64_t, std::string> grouped[] = {{0, "0"}, {999, "999"}, {1000, "1,000"},
      {1400000000, "1,400,000,000"}, {UINT64_MAX, "18,446,744,073,709,551,615"}};
  for (const auto& [number, text] : grouped) EXPECT_EQ(groupedNumber(number), text);
  const std::pair<std::uint64_t, std::string> human[] = {{0, "0 bytes"}, {1, "1 byte"},
      {999, "999 bytes"}, {1000, "1.0 kB"}, {4249, "4.2 kB"}, {4250, "4.3 kB"}, {9949, "9.9 kB"},
      {9950, "10 kB"}, {999499, "999 kB"}, {999500, "1.0 MB"}, {1400000000, "1.4 GB"},
      {18000000000000, "18 TB"}, {UINT64_MAX, "18 EB"}};
  for (const auto& [bytes, text] : human) EXPECT_EQ(inHumanUnits(bytes), text) << bytes;
  RunAccount account{12000, 0, 0, 0, 0};
  EXPECT_EQ(outOfMemoryLine(account),
            "dupsieve: out of memory after 12,000 files were found; nothing was deleted");
  account = {1, 3, 1, 1400000000, 1};
  EXPECT_EQ(outOfMemoryLine(account),
            "dupsieve: out of memory after 1 file was found; 1 file was deleted (1.4 GB)");
}

TEST(Notes, PathsAreEscapedOnlyForATerminal) {
  EXPECT_EQ(CapturedNotes(true).notes.shownPath("a\x1b[2Jb"), "a\\x1b[2Jb");
  EXPECT_EQ(CapturedNotes(false).notes.shownPath("a\x1b[2Jb"), "a\x1b[2Jb");
}

}  // namespace
}  // namespace dupsieve
