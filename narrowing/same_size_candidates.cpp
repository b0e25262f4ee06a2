#include "narrowing/same_size_candidates.h"

#include <algorithm>

namespace dupsieve {

void selectSameSizeCandidates(std::vector<FileRecord>& files) {
  std::stable_sort(files.begin(), files.end());

  // The candidates are gathered at the front of the file list itself, in
  // order: a second list would hold a copy of every record of a large run
  // at the moment of peak memory, and nothing can tell the difference.
  std::size_t candidateEnd = 0;
  std::size_t start = 0;
  while (const auto run = findEqualRun(files, start)) {
    for (std::size_t i = run->first; i < run->end; ++i) {
      if (candidateEnd != i) files[candidateEnd] = std::move(files[i]);
      ++candidateEnd;
    }
    start = run->end;
  }
  files.erase(files.begin() + static_cast<std::ptrdiff_t>(candidateEnd), files.end());
}

}  // namespace dupsieve
