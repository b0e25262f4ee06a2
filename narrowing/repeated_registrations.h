#pragma once

#include <vector>

#include "catalogue/file_record.h"

namespace dupsieve {

// Leaves one record per directory entry, in ascending path order. A record
// repeats an earlier one (in path order) when it has the same path, or when
// it names the same entry by another spelling of its directory's path: the
// same name in a directory with the same device and inode number. Hard links
// are different names and stay. Files marked alone in their size (by the
// walk) are left after the others, in the order they came, unless a
// directory was listed twice: they are never candidates of the next stage.
// Requires CompareMode::ByPath.
void removeRepeatedRegistrations(std::vector<FileRecord>& files);

}  // namespace dupsieve
