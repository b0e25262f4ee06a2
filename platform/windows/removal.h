#pragma once

#include <string>

#include "platform/file_system.h"

namespace dupsieve::windows {

// FileSystem::removeListedFile on Windows: the file is checked and deleted
// through one handle, opened relative to its directory once that directory
// has been found to be the one listed, so nothing can take its place between
// the check and the deletion.
Removal removeListedFile(const std::string& path, const ListedFile& listed);

}  // namespace dupsieve::windows
