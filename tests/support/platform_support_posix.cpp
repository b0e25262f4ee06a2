#include "tests/support/platform_support.h"

#include <filesystem>

namespace dupsieve::testing {

void removeTree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

std::string textFromOutput(const std::string& raw) { return raw; }

}  // namespace dupsieve::testing
