#include "narrowing/same_digest_groups.h"

#include <algorithm>
#include <iterator>
#include <span>
#include <tuple>

#include "catalogue/sample_digest.h"
#include "narrowing/equal_run.h"

namespace dupsieve {

void groupSameDigestFiles(std::vector<FileRecord>& files, std::int32_t blockSize,
                          std::vector<Group>& groups, FileSystem& fileSystem,
                          ProgressObserver& progress) {
  // Read the heads directory by directory, so that the file system can open
  // a directory's files relative to it, and within a directory in the order
  // of the inode numbers, which on most file systems follows where the files
  // lie on disk. The order of reading is not visible in the result: each
  // digest is the sum of its own file's bytes, whichever file's bytes come
  // first.
  std::vector<FileRecord*> readingOrder;
  readingOrder.reserve(files.size());
  for (FileRecord& record : files) readingOrder.push_back(&record);
  std::sort(readingOrder.begin(), readingOrder.end(), [](const FileRecord* a, const FileRecord* b) {
    const DirectoryId da = a->directory();
    const DirectoryId db = b->directory();
    return std::tie(da.device, da.inode, a->inode) < std::tie(db.device, db.inode, b->inode);
  });

  // One round of reads between two reports of progress, which counts the
  // heads read during the walk as it counts the others. Those are not read
  // again, whatever their digest.
  std::vector<FileRecord*> unread;
  for (std::size_t first = 0; first < readingOrder.size(); first += kHeadBatch) {
    const std::size_t end = std::min(readingOrder.size(), first + kHeadBatch);
    unread.clear();
    for (std::size_t i = first; i < end; ++i) {
      if (!readingOrder[i]->headReadAhead()) unread.push_back(readingOrder[i]);
    }
    sampleDigests(unread, blockSize, fileSystem);
    for (std::size_t done = first + 1; done <= end; ++done) {
      if (done % kProgressStep == 0) progress.candidatesRead(done, readingOrder.size());
    }
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
