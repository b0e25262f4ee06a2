#include "tests/support/temp_dir.h"

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "tests/support/platform_support.h"

namespace dupsieve::testing {

namespace fs = std::filesystem;

fs::path utf8Path(std::string_view path) {
  return fs::path(std::u8string(path.begin(), path.end()));
}

std::string utf8String(const fs::path& path) {
  const std::u8string text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}

TempDir::TempDir() {
  const fs::path base = fs::temp_directory_path();
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = base / ("dupsieve-test-" + std::to_string(random() % 1000000000));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      path_ = utf8String(candidate);
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary directory under " + utf8String(base));
}

TempDir::~TempDir() { removeTree(path_); }

std::string TempDir::write(const std::string& relative, const std::string& contents) const {
  const fs::path target = utf8Path(*this / relative);
  fs::create_directories(target.parent_path());
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  if (!out) throw std::runtime_error("cannot write " + utf8String(target));
  return utf8String(target);
}

std::string TempDir::makeDirectory(const std::string& relative) const {
  const fs::path target = utf8Path(*this / relative);
  fs::create_directories(target);
  return utf8String(target);
}

bool TempDir::exists(const std::string& relative) const {
  std::error_code ignored;
  return fs::symlink_status(utf8Path(*this / relative), ignored).type() !=
         fs::file_type::not_found;
}

std::string TempDir::read(const std::string& relative) const {
  std::ifstream in(utf8Path(*this / relative), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace dupsieve::testing
