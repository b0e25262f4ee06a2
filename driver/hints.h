#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/command_line.h"
#include "platform/file_system.h"
#include "resolution/notes.h"

namespace dupsieve {

// Hints for a person at a terminal on why a run may find less than they
// meant. One hint a line, each at most once. Only when standard error is a
// terminal do they ask the file system anything or write a line, so the
// run is otherwise exactly as without them.

// Before the walk, what the command line and the operands alone tell: an
// operand that names nothing (on Windows, one relative to another drive's
// current folder), a directory named without -r, a link to a directory
// (which the walk does not follow), a long option, an unknown option, or
// option letters that were passed over.
void writeCommandLineHints(const Settings& settings, FileSystem& fileSystem, Notes& notes);

// After the count lines, what the results tell: how many subdirectories
// the walk could not open (`unreadDirectories`, as the file system counted
// them after the walk), and, when the walk found nothing without -z, how
// many files of size 0 it passed over.
void writeResultHints(const Settings& settings, std::size_t filesFound,
                      std::uint64_t unreadDirectories, FileSystem& fileSystem, Notes& notes);

}  // namespace dupsieve
