#pragma once

#include <memory>
#include <string>

#include "platform/file_system.h"

namespace dupsieve::windows {

// The listings of the Windows file system, as FileSystem::findFirst
// describes them. A pattern that matches every name ("*.*" or "*") is read
// through a handle on its directory, like every subdirectory below it; any
// other pattern is matched by the system's own rule. Every file and
// directory listed carries its volume serial number and file index.
std::unique_ptr<DirectoryListing> listPattern(const std::string& pattern);

}  // namespace dupsieve::windows
