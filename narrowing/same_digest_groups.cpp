#include "narrowing/same_digest_groups.h"

#include <algorithm>
#include <iterator>
#include <tuple>
#include <utility>

#include "catalogue/sample_digest.h"
#include "narrowing/equal_run.h"

namespace dupsieve {

namespace {

// Heads handed to the file system at once: enough for it to keep many reads
// in flight, few enough that the sums and requests stay small.
constexpr std::size_t kReadBatch = 16 * kProgressStep;

}  // namespace

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

  std::vector<LaneSum> sums;
  std::vector<HeadRead> reads;
  std::vector<std::pair<FileRecord*, const LaneSum*>> readers;  // whose read, into which sum
  for (std::size_t first = 0; first < readingOrder.size(); first += kReadBatch) {
    const std::size_t end = std::min(readingOrder.size(), first + kReadBatch);
    // Sized first: each read's sink is its own sum, which must stay put.
    sums.assign(end - first, LaneSum{});
    reads.clear();
    readers.clear();
    for (std::size_t i = first; i < end; ++i) {
      FileRecord& record = *readingOrder[i];
      // A cached digest or an empty sample needs no read; the digest is
      // then what it is.
      if (record.pendingSampleLength(blockSize) == 0) continue;
      reads.push_back(record.sampleRead(blockSize, sums[i - first]));
      readers.emplace_back(&record, &sums[i - first]);
    }
    fileSystem.readHeads(reads);
    for (std::size_t k = 0; k < reads.size(); ++k) {
      readers[k].first->cacheDigest(reads[k], readers[k].second->value());
    }
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
