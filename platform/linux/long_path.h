#pragma once

#include <string_view>

#include "platform/linux/system_calls.h"

namespace dupsieve::linux_io {

// Opens the directory that the directory part of a listed path names (the
// working directory when it is empty), to reach its entries, as
// SystemCalls::openDirectoryHandle does. The walk is anchored, so a tree
// may hold paths longer than the system takes in one call (PATH_MAX): such
// a path is opened as far as one call takes it, resolved as any path is,
// and from there one component at a time, each a directory and never a
// link. The caller checks that the directory reached is the one listed.
// -1 when it cannot be opened; errno says why.
int openDirectoryPart(SystemCalls& calls, std::string_view directoryPart);

}  // namespace dupsieve::linux_io
