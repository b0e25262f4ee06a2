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
  statusWidth_ = text.size();
  statusChangedAt_ = clock_();
}

void Notes::clearStatus() {
  if (!errorIsTerminal_) return;
  // A new stage (or the line just written) gets a quiet interval too.
  statusChangedAt_ = clock_();
  if (statusWidth_ == 0) return;
  err_ << '\r' << std::string(statusWidth_, ' ') << '\r' << std::flush;
  statusWidth_ = 0;
}

bool Notes::statusDue(std::chrono::milliseconds firstAfter) const {
  if (!errorIsTerminal_) return false;
  const auto quiet = statusWidth_ == 0 ? firstAfter : kStatusInterval;
  return clock_() - statusChangedAt_ >= quiet;
}

std::string Notes::shownPath(std::string_view path) const {
  return dupsieve::shownPath(path, errorIsTerminal_);
}

void Notes::writeLine(std::string_view line) {
  clearStatus();
  err_ << line << '\n' << std::flush;
}

}  // namespace dupsieve
