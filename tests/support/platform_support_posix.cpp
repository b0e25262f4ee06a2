#include "tests/support/platform_support.h"

#include <filesystem>

namespace dupsieve::testing {

void removeTree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

}  // namespace dupsieve::testing
