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
  // The heads read during the walk are not read again, whatever their
  // digest: only the others are put in order.
  std::vector<FileRecord*> readingOrder;
  for (FileRecord& record : files) {
    if (!record.headReadAhead()) readingOrder.push_back(&record);
  }
  std::sort(readingOrder.begin(), readingOrder.end(), [](const FileRecord* a, const FileRecord* b) {
    const DirectoryId da = a->directory();
    const DirectoryId db = b->directory();
    return std::tie(da.device, da.inode, a->inode) < std::tie(db.device, db.inode, b->inode);
  });

  // Progress counts the heads read during the walk as read, first, then
  // tells the same steps after each round of reads as a read one by one
  // would.
  std::size_t told = 0;
  const auto tellUpTo = [&](std::size_t done) {
    for (told += kProgressStep - told % kProgressStep; told <= done; told += kProgressStep) {
      progress.candidatesRead(told, files.size());
    }
    told = done;
  };
  const std::size_t readAhead = files.size() - readingOrder.size();
  tellUpTo(readAhead);
  for (std::size_t first = 0; first < readingOrder.size(); first += kHeadBatch) {
    const std::size_t end = std::min(readingOrder.size(), first + kHeadBatch);
    sampleDigests(std::span(readingOrder).subspan(first, end - first), blockSize, fileSystem);
    tellUpTo(readAhead + end);
  }

  // The candidates come in ascending size: each run of one size sorted by
  // digest on its own gives the order a stable sort of the whole list would,
  // with a buffer of half the longest run at most, not half the list.
  const auto bySize = [](const FileRecord& a, const FileRecord& b) { return a.size < b.size; };
  const auto byDigest = [](const FileRecord& a, const FileRecord& b) { return a.digest < b.digest; };
  for (auto first = files.begin(); first != files.end();) {
    const auto end = std::upper_bound(first, files.end(), *first, bySize);
    std::stable_sort(first, end, byDigest);
    first = end;
  }
  std::size_t start = 0;
  while (const auto run = findEqualRun(files, start)) {
    groups.emplace_back(files.begin() + static_cast<std::ptrdiff_t>(run->first),
                        files.begin() + static_cast<std::ptrdiff_t>(run->end));
    start = run->end;
  }
}

}  // namespace dupsieve
