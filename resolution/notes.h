#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

#include "resolution/run_account.h"

namespace dupsieve {

// The tool's own notes on standard error, apart from the system's output on
// standard output, which they never touch:
// - failures (a confirmed deletion that did not happen) are always written,
//   whoever reads standard error;
// - hints and the live status line only when standard error is a terminal;
// - what helps someone answer the prompts only when, besides, standard input
//   is a terminal, so that a person is typing the answers.
// Scripts and stored outputs therefore see nothing new but failures.
class Notes {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  // How long a status stays before the next may replace it, and how long
  // the notes stay quiet before their first status: a few updates a second
  // are all that anyone can read, and a short run shows none.
  static constexpr std::chrono::milliseconds kStatusInterval{250};

  Notes(std::ostream& err, bool errorIsTerminal, bool inputIsTerminal,
        Clock clock = [] { return std::chrono::steady_clock::now(); })
      : err_(err), errorIsTerminal_(errorIsTerminal), inputIsTerminal_(inputIsTerminal),
        clock_(std::move(clock)), statusChangedAt_(clock_()) {}
  Notes(const Notes&) = delete;
  Notes& operator=(const Notes&) = delete;

  bool errorIsTerminal() const { return errorIsTerminal_; }
  bool personAnswering() const { return errorIsTerminal_ && inputIsTerminal_; }

  // One line each; the newline is added here.
  void failure(std::string_view line);
  void hint(std::string_view line);
  void forAnswerer(std::string_view line);

  // Shows `text` on one line that the next status replaces in place; on a
  // terminal only. Call clearStatus() before writing anything else to the
  // terminal, so that the status never mixes with other output.
  void status(std::string_view text);
  void clearStatus();

  // True when a status would be shown and is due: standard error is a
  // terminal, and kStatusInterval has passed since a status was last shown,
  // or, while none is shown, `firstAfter` since one was last erased (or
  // since the notes were made). Callers ask before building a status text,
  // so that the line changes at most a few times a second; a longer
  // `firstAfter` keeps a wait that is usually short free of a line that
  // would only flicker.
  bool statusDue(std::chrono::milliseconds firstAfter = kStatusInterval) const;

  // What the run has done so far, as it was told below.
  const RunAccount& account() const { return account_; }
  void filesFound(std::uint64_t count) { account_.filesFound = count; }
  // A prompt read an answer word, and deleted a file of `bytes` (listed
  // size) on it, or could not delete the confirmed file: `line` says why and
  // is written as a failure.
  void answered();
  void deleted(std::uint64_t bytes);
  void deletionFailed(std::string_view line);
  // Whether a prompt waits for its answer, so the cursor stands after it.
  void awaitingAnswer(bool waiting);
  // For a person who answered at least one prompt: one line with what was
  // deleted, how much space that freed, and how many confirmed deletions
  // failed.
  void writeAccount();

  // Hands `publish`, now and whenever it changes, what standard error must
  // get if the run is interrupted: the status line erased, the prompt's line
  // ended and, for a person answering, the account so far. Empty when
  // standard error is not a terminal.
  void publishInterruptNote(std::function<void(std::string_view)> publish);

  // `path` as a note names it: escaped like a shown path when standard error
  // is a terminal, byte for byte otherwise.
  std::string shownPath(std::string_view path) const;

 private:
  void writeLine(std::string_view line);
  void republishInterruptNote() const;

  std::ostream& err_;
  bool errorIsTerminal_;
  bool inputIsTerminal_;
  Clock clock_;
  std::chrono::steady_clock::time_point statusChangedAt_;
  std::size_t statusWidth_ = 0;  // characters of the status line on screen, 0 when none
  RunAccount account_;
  bool awaitingAnswer_ = false;
  std::function<void(std::string_view)> publishInterruptNote_;
};

}  // namespace dupsieve
