#include "narrowing/same_digest_groups.h"

#include <algorithm>

#include "narrowing/equal_run.h"

namespace dupsieve {

void groupSameDigestFiles(std::vector<FileRecord>& files, std::int32_t blockSize,
                          std::vector<Group>& groups, FileSystem& fileSystem) {
  for (FileRecord& record : files) record.sampleDigest(blockSize, fileSystem);

  std::stable_sort(files.begin(), files.end());
  std::size_t start = 0;
  while (const auto run = findEqualRun(files, start)) {
    groups.emplace_back(files.begin() + static_cast<std::ptrdiff_t>(run->first),
                        files.begin() + static_cast<std::ptrdiff_t>(run->end));
    start = run->end;
  }
}

}  // namespace dupsieve
