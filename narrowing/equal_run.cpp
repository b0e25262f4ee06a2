#include "narrowing/equal_run.h"

#include <algorithm>

namespace dupsieve {

std::optional<EqualRun> findEqualRun(const std::vector<FileRecord>& sorted, std::size_t start) {
  if (start >= sorted.size()) return std::nullopt;
  const auto first = std::adjacent_find(sorted.begin() + static_cast<std::ptrdiff_t>(start),
                                        sorted.end());
  if (first == sorted.end()) return std::nullopt;
  const auto end = std::upper_bound(first, sorted.end(), *first);
  return EqualRun{static_cast<std::size_t>(first - sorted.begin()),
                  static_cast<std::size_t>(end - sorted.begin())};
}

}  // namespace dupsieve
