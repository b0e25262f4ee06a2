#pragma once

#include <vector>

#include "catalogue/file_record.h"

namespace dupsieve {

// Leaves one record per directory entry, in ascending path order. A record
// repeats an earlier one (in path order) when it has the same path, or when
// it names the same entry by another spelling of its directory's path: the
// same name in a directory with the same device and inode number. Hard links
// are different names and stay. Where a directory was listed twice (under
// one prefix or under two spellings) the records end in ascending path
// order. Otherwise they end in ascending size, then path, and those the
// walk marked alone in their size come after the others, in the order they
// came: a stable sort by size gives ascending size, then path, either way,
// which is all the next stage needs. Requires CompareMode::ByPath.
void removeRepeatedRegistrations(std::vector<FileRecord>& files);

}  // namespace dupsieve
