#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/file_system.h"
#include "platform/path_parts.h"

namespace dupsieve::testing {

// Reads the head of `path` as the only file of a batch, listed as `listed`
// (nothing known by default); true when it was read.
inline bool readAsBatch(HeadReader& reader, const std::string& path, std::uint64_t length,
                        ByteSink& sink, const ListedFile& listed = {}) {
  const PathParts parts = splitAtLastSlash(path);
  HeadRead read{parts.directory, parts.name, listed, length, &sink};
  reader.readHeads(std::span<HeadRead>(&read, 1));
  return read.read;
}

}  // namespace dupsieve::testing
