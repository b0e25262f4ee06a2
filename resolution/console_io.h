#pragma once

#include <istream>
#include <ostream>

#include "platform/file_system.h"
#include "resolution/notes.h"

namespace dupsieve {

// What the report and the prompt talk through: the user's streams, whether
// paths must be escaped for a terminal, the file system that deletes, and
// the notes on standard error.
struct ConsoleIo {
  std::ostream& out;
  std::istream& in;
  bool escapeControls;
  FileSystem& fileSystem;
  Notes& notes;
};

}  // namespace dupsieve
