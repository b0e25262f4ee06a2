#pragma once

#include <cstdint>
#include <vector>

#include "catalogue/file_record.h"
#include "catalogue/progress_observer.h"
#include "platform/file_system.h"

namespace dupsieve {

// Digests every candidate over `blockSize` leading bytes, then appends to
// `groups` one group per block of records equal in size and digest, in
// ascending size, then digest. Each group is a run of the file list, which
// must outlive the groups and not change while they are used.
// Requires CompareMode::BySizeAndDigest and candidates in ascending size,
// then path, as selectSameSizeCandidates leaves them. `progress` hears how
// many candidates have been read.
void groupSameDigestFiles(std::vector<FileRecord>& files, std::int32_t blockSize,
                          std::vector<Group>& groups, FileSystem& fileSystem,
                          ProgressObserver& progress = noProgress());

}  // namespace dupsieve
