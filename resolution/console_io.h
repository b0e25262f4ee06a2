#pragma once

#include <istream>
#include <ostream>

#include "platform/file_system.h"

namespace dupsieve {

// What the report and the prompt talk through: the user's streams, whether
// paths must be escaped for a terminal, and the file system that deletes.
struct ConsoleIo {
  std::ostream& out;
  std::istream& in;
  bool escapeControls;
  FileSystem& fileSystem;
};

}  // namespace dupsieve
