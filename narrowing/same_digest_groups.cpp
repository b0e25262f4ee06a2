#include "narrowing/same_digest_groups.h"

#include <algorithm>
#include <iterator>
#include <tuple>

#include "narrowing/equal_run.h"

namespace dupsieve {

void groupSameDigestFiles(std::vector<FileRecord>& files, std::int32_t blockSize,
                          std::vector<Group>& groups, FileSystem& fileSystem,
                          ProgressObserver& progress) {
  // Read the heads directory by directory, so that one pass reader can open
  // a directory's files relative to it, and within a directory in the order
  // of the inode numbers, which on most file systems follows where the files
  // lie on disk. The order of reading is not visible in the result.
  std::vector<FileRecord*> readingOrder;
  readingOrder.reserve(files.size());
  for (FileRecord& record : files) readingOrder.push_back(&record);
  std::sort(readingOrder.begin(), readingOrder.end(), [](const FileRecord* a, const FileRecord* b) {
    return std::tie(a->directory.device, a->directory.inode, a->inode) <
           std::tie(b->directory.device, b->directory.inode, b->inode);
  });
  const auto reader = fileSystem.passReader();
  const std::size_t readAhead = reader->readAhead();
  std::size_t announced = 0;
  for (std::size_t i = 0; i < readingOrder.size(); ++i) {
    // Tell the reader what comes next, so that it can fetch ahead.
    const std::size_t horizon = readAhead == 0 ? 0 : std::min(readingOrder.size(), i + readAhead + 1);
    for (; announced < horizon; ++announced) {
      const FileRecord& next = *readingOrder[announced];
      const std::uint64_t length = next.pendingSampleLength(blockSize);
      if (length > 0) reader->expect(next.path, length);
    }
    readingOrder[i]->sampleDigest(blockSize, *reader);
    if ((i + 1) % kProgressStep == 0) progress.candidatesRead(i + 1, readingOrder.size());
  }

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
