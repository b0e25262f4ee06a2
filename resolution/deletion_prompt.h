#pragma once

#include "catalogue/file_record.h"
#include "resolution/console_io.h"

namespace dupsieve {

// Asks whether one listed file is to be deleted: writes
// "Delete <path> ? (y/other): " (no newline), reads one word, and deletes
// the file when the word is exactly "y" or "Y" and the path still names the
// regular file that was listed, of the size listed. Reports nothing.
class DeletionPrompt {
 public:
  explicit DeletionPrompt(const ConsoleIo& io) : io_(io) {}
  void operator()(const FileRecord& record) const;

 private:
  ConsoleIo io_;
};

}  // namespace dupsieve
