#include "resolution/notes.h"

#include "resolution/shown_path.h"

namespace dupsieve {

void Notes::failure(std::string_view line) { writeLine(line); }

void Notes::hint(std::string_view line) {
  if (errorIsTerminal_) writeLine(line);
}

void Notes::forAnswerer(std::string_view line) {
  if (personAnswering()) writeLine(line);
}

void Notes::status(std::string_view text) {
  if (!errorIsTerminal_) return;
  // Carriage return and blanks rather than terminal control sequences: every
  // console understands them, and a shorter text must not leave the tail of
  // a longer one behind.
  err_ << '\r' << text;
  if (text.size() < statusWidth_) {
    err_ << std::string(statusWidth_ - text.size(), ' ') << '\r' << text;
  }
  err_ << std::flush;
  const bool widthChanged = statusWidth_ != text.size();
  statusWidth_ = text.size();
  statusChangedAt_ = clock_();
  if (widthChanged) republishInterruptNote();
}

void Notes::clearStatus() {
  if (!errorIsTerminal_) return;
  // A new stage (or the line just written) gets a quiet interval too.
  statusChangedAt_ = clock_();
  if (statusWidth_ == 0) return;
  err_ << '\r' << std::string(statusWidth_, ' ') << '\r' << std::flush;
  statusWidth_ = 0;
  republishInterruptNote();
}

bool Notes::statusDue(std::chrono::milliseconds firstAfter) const {
  if (!errorIsTerminal_) return false;
  const auto quiet = statusWidth_ == 0 ? firstAfter : kStatusInterval;
  return clock_() - statusChangedAt_ >= quiet;
}

void Notes::answered() {
  ++account_.promptsAnswered;
  republishInterruptNote();
}

void Notes::deleted(std::uint64_t bytes) {
  ++account_.filesDeleted;
  account_.bytesFreed += bytes;
  republishInterruptNote();
}

void Notes::deletionFailed(std::string_view line) {
  ++account_.deletionsFailed;
  failure(line);
  republishInterruptNote();
}

void Notes::awaitingAnswer(bool waiting) {
  if (awaitingAnswer_ == waiting) return;
  awaitingAnswer_ = waiting;
  republishInterruptNote();
}

void Notes::writeAccount() {
  if (account_.promptsAnswered > 0) forAnswerer(accountLine(account_));
}

void Notes::publishInterruptNote(std::function<void(std::string_view)> publish) {
  publishInterruptNote_ = std::move(publish);
  republishInterruptNote();
}

void Notes::republishInterruptNote() const {
  if (!publishInterruptNote_) return;
  std::string note;
  if (errorIsTerminal_) {
    // The terminal echoes the interrupt as "^C" where the cursor stands:
    // after a prompt, whose line must stay, or at the end of the status
    // line, which goes with the echo.
    if (awaitingAnswer_) {
      note = '\n';
    } else {
      note = '\r' + std::string(statusWidth_ + 2, ' ') + '\r';
    }
    if (personAnswering()) note += "interrupted: " + accountLine(account_) + '\n';
  }
  publishInterruptNote_(note);
}

std::string Notes::shownPath(std::string_view path) const {
  return dupsieve::shownPath(path, errorIsTerminal_);
}

void Notes::writeLine(std::string_view line) {
  clearStatus();
  err_ << line << '\n' << std::flush;
}

}  // namespace dupsieve
