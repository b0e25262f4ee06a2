#pragma once

#include <string>

#include "platform/file_system.h"
#include "platform/linux/system_calls.h"

namespace dupsieve::linux_io {

// Opens a listed file for reading all of it, as FileSystem::openListedFile
// describes: looked at before it is opened, so that nothing but the listed
// regular file is ever opened, and checked again once it is open, so that a
// file swapped in between is not read instead.
OpenedContent openListedContent(SystemCalls& calls, const std::string& path,
                                const ListedFile& listed);

}  // namespace dupsieve::linux_io
