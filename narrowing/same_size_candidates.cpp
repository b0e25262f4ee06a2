#include "narrowing/same_size_candidates.h"

#include <algorithm>

#include "narrowing/sort_beside.h"

namespace dupsieve {

void selectSameSizeCandidates(std::vector<FileRecord>& files) {
  // By size alone: some digests are known already (the heads read during
  // the walk), and they must not part files of one size here.
  const auto bySize = [](const FileRecord& a, const FileRecord& b) { return a.size < b.size; };
  stableSortInPlace(files, bySize);

  // The candidates are gathered at the front of the file list itself, in
  // order: a second list would hold a copy of every record of a large run
  // at the moment of peak memory, and nothing can tell the difference.
  std::size_t candidateEnd = 0;
  for (std::size_t first = 0; first < files.size();) {
    const auto end = std::upper_bound(files.begin() + static_cast<std::ptrdiff_t>(first),
                                      files.end(), files[first], bySize);
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
