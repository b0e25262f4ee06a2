#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "catalogue/file_record.h"

namespace dupsieve {

// A block of two or more adjacent records equal under `==`: [first, end).
struct EqualRun {
  std::size_t first;
  std::size_t end;
};

// In a list sorted under `<`, the first run that starts at or after `start`,
// or nullopt when there is none.
std::optional<EqualRun> findEqualRun(const std::vector<FileRecord>& sorted, std::size_t start);

}  // namespace dupsieve
