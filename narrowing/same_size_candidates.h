#pragma once

#include <vector>

#include "catalogue/file_record.h"
#include "narrowing/equal_run.h"

namespace dupsieve {

// Keeps only the records whose size another record shares, in ascending
// size and, within one size, in the order they had (ascending path),
// whatever digests some of them hold already. A record the walk marked
// alone in its size is dropped unsorted.
void selectSameSizeCandidates(std::vector<FileRecord>& files);

}  // namespace dupsieve
