#pragma once

#include <istream>
#include <ostream>

#include "driver/command_line.h"
#include "platform/file_system.h"
#include "resolution/notes.h"

namespace dupsieve {

// Runs one search from walk to deletion prompts, writing progress and count
// lines, the group reports and the prompts to `out` and reading answers from
// `in`. With `escapeControls`, control bytes in shown paths are escaped.
// What the tool itself has to say goes to `notes`. With `flushEachLine`,
// every line of `out` is flushed as it ends.
void runSearch(const Settings& settings, FileSystem& fileSystem, std::istream& in,
               std::ostream& out, bool escapeControls, Notes& notes,
               bool flushEachLine = true);

}  // namespace dupsieve
