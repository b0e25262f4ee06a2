#pragma once

#include <cstdint>
#include <istream>

#include "catalogue/file_record.h"
#include "platform/file_system.h"
#include "resolution/console.h"

namespace dupsieve {

// Asks whether one listed file is to be deleted: writes
// "Delete <path> ? (y/other): " (no newline), reads one word, and, when the
// word is exactly "y" or "Y", deletes the file if it is still the regular
// file that was listed. A confirmed deletion that does not happen is
// reported as a failure note, with the reason; a person who answered a word
// that begins with y or Y is told that it kept the file. The notes keep the
// account of answers and deletions. Returns true when it removed the file.
class DeletionPrompt {
 public:
  DeletionPrompt(const Console& console, FileSystem& fileSystem)
      : console_(console), fileSystem_(&fileSystem) {}
  bool operator()(const FileRecord& record) const;

 private:
  Console console_;
  FileSystem* fileSystem_;
};

// One answer word as far as it decides the answer: its first byte and its
// length in bytes (0 when the input ended before a word).
struct AnswerWord {
  char first = '\0';
  std::uint64_t length = 0;
  bool isYes() const { return length == 1 && (first == 'y' || first == 'Y'); }
};

// Reads one word as `in >> word` would (whitespace skipped first, the
// whitespace after it left unread, end and failure marked alike), keeping
// only what decides the answer, so memory stays flat whatever the input.
AnswerWord readAnswerWord(std::istream& in);

}  // namespace dupsieve
