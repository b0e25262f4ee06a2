#pragma once

#include "catalogue/file_record.h"
#include "platform/file_system.h"
#include "resolution/console.h"

namespace dupsieve {

// Asks whether one listed file is to be deleted: writes
// "Delete <path> ? (y/other): " (no newline), reads one word, and, when the
// word is exactly "y" or "Y", deletes the file if it is still the regular
// file that was listed. A confirmed deletion that does not happen is
// reported as a failure note, with the reason. Returns true when it removed
// the file.
class DeletionPrompt {
 public:
  DeletionPrompt(const Console& console, FileSystem& fileSystem)
      : console_(console), fileSystem_(&fileSystem) {}
  bool operator()(const FileRecord& record) const;

 private:
  Console console_;
  FileSystem* fileSystem_;
};

}  // namespace dupsieve
