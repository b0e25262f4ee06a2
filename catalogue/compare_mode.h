#pragma once

#include <cstdint>

namespace dupsieve {

// What the `<` and `==` of FileRecord compare. Read at every comparison;
// written only by the driver between stages, never during a sort or search.
enum class CompareMode : std::int32_t {
  BySizeAndDigest = 0,  // by size, then digest; the path is ignored
  ByPath = 1,           // by the bytes of the path
};

inline CompareMode compareMode = CompareMode::BySizeAndDigest;

}  // namespace dupsieve
