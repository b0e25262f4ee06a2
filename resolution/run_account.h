#pragma once

#include <cstdint>
#include <string>

namespace dupsieve {

// What a run has done so far, for the account a person gets at its end or
// when they interrupt it, and for the line that says how far a run got
// before it ran out of memory.
struct RunAccount {
  std::uint64_t filesFound = 0;       // by the walk, so far
  std::uint64_t promptsAnswered = 0;  // prompts that read an answer word
  std::uint64_t filesDeleted = 0;
  std::uint64_t bytesFreed = 0;       // the listed sizes of the deleted files
  std::uint64_t deletionsFailed = 0;  // confirmed with y, and not done
};

// "2 files deleted, 1.4 GB freed; 0 confirmed deletions failed".
std::string accountLine(const RunAccount& account);

// "dupsieve: out of memory after 12,000 files were found; nothing was
// deleted", or, once files were deleted, how many and how much.
std::string outOfMemoryLine(const RunAccount& account);

}  // namespace dupsieve
