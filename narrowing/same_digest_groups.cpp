#include "narrowing/same_digest_groups.h"

#include <algorithm>
#include <iterator>

#include "narrowing/equal_run.h"

namespace dupsieve {

void groupSameDigestFiles(std::vector<FileRecord>& files, std::int32_t blockSize,
                          std::vector<Group>& groups, FileSystem& fileSystem) {
  // Read the heads in the order of the files' inode numbers, which on most
  // file systems follows where they lie on disk; the order of reading is not
  // visible in the result.
  std::vector<FileRecord*> readingOrder;
  readingOrder.reserve(files.size());
  for (FileRecord& record : files) readingOrder.push_back(&record);
  std::sort(readingOrder.begin(), readingOrder.end(), [](const FileRecord* a, const FileRecord* b) {
    return a->directory.device != b->directory.device ? a->directory.device < b->directory.device
                                                      : a->inode < b->inode;
  });
  for (FileRecord* record : readingOrder) record->sampleDigest(blockSize, fileSystem);

  std::stable_sort(files.begin(), files.end());
  std::size_t start = 0;
  while (const auto run = findEqualRun(files, start)) {
    // Nothing reads the file list after this stage, so the members are moved
    // into their group rather than copied.
    groups.emplace_back(std::make_move_iterator(files.begin() + static_cast<std::ptrdiff_t>(run->first)),
                        std::make_move_iterator(files.begin() + static_cast<std::ptrdiff_t>(run->end)));
    start = run->end;
  }
}

}  // namespace dupsieve
