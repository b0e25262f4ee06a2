#include "narrowing/same_size_candidates.h"

#include <algorithm>
#include <iterator>

namespace dupsieve {

void selectSameSizeCandidates(std::vector<FileRecord>& files) {
  std::stable_sort(files.begin(), files.end());

  // Sizing the candidate list first keeps the peak memory of a large run
  // down: a list grown by doubling can hold twice what it needs.
  std::size_t candidateCount = 0;
  for (auto run = findEqualRun(files, 0); run; run = findEqualRun(files, run->end)) {
    candidateCount += run->end - run->first;
  }
  std::vector<FileRecord> candidates;
  candidates.reserve(candidateCount);

  std::size_t start = 0;
  while (const auto run = findEqualRun(files, start)) {
    // The file list is replaced below and nothing reads the dropped records,
    // so the run's records can be moved rather than copied.
    std::move(files.begin() + static_cast<std::ptrdiff_t>(run->first),
              files.begin() + static_cast<std::ptrdiff_t>(run->end),
              std::back_inserter(candidates));
    start = run->end;
  }
  files = std::move(candidates);
}

}  // namespace dupsieve
