#pragma once

#include "driver/command_line.h"
#include "platform/file_system.h"
#include "resolution/notes.h"

namespace dupsieve {

// Tells a person at a terminal why a run may have found less than they
// meant: an operand that names nothing, a directory named without -r, a
// long option, an unknown option, or option letters that were passed over.
// One hint a line, each at most once. Only when standard error is a
// terminal does it ask the file system anything or write a line, so the
// run is otherwise exactly as without it.
void writeHints(const Settings& settings, FileSystem& fileSystem, Notes& notes);

}  // namespace dupsieve
