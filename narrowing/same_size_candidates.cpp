#include "narrowing/same_size_candidates.h"

#include <algorithm>

#include "narrowing/sort_beside.h"

namespace dupsieve {

void selectSameSizeCandidates(std::vector<FileRecord>& files) {
  // By size alone: some digests are known already (the heads read during
  // the walk), and they must not part files of one size here.
  const auto bySize = [](const FileRecord& a, const FileRecord& b) { return a.size < b.size; };
  // A file the walk saw alone in its size is none: it is not even sorted.
  const auto sorted = static_cast<std::ptrdiff_t>(stableSortInPlace(
      files, bySize, [](const FileRecord& record) { return record.aloneInItsSize(); }));

  // The candidates are gathered at the front of the file list itself, in
  // order: a second list would hold a copy of every record of a large run
  // at the moment of peak memory, and nothing can tell the difference.
  std::size_t candidateEnd = 0;
  for (std::size_t first = 0; first < static_cast<std::size_t>(sorted);) {
    const auto end = std::upper_bound(files.begin() + static_cast<std::ptrdiff_t>(first),
                                      files.begin() + sorted, files[first], bySize);
    const std::size_t runEnd = static_cast<std::size_t>(end - files.begin());
    if (runEnd - first >= 2) {
      for (std::size_t i = first; i < runEnd; ++i) {
        if (candidateEnd != i) files[candidateEnd] = std::move(files[i]);
        ++candidateEnd;
      }
    }
    first = runEnd;
  }
  files.erase(files.begin() + static_cast<std::ptrdiff_t>(candidateEnd), files.end());
}

}  // namespace dupsieve
