#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace dupsieve::testing {

// Paths in tests are UTF-8 text with "/" separators, as the tool holds
// them; these convert to and from the standard library's paths, which on
// Windows would otherwise read a std::string in the code page.
std::filesystem::path utf8Path(std::string_view path);
std::string utf8String(const std::filesystem::path& path);

// A fresh directory under the system's temporary folder, removed with all
// its contents when the object goes away. Paths given to it are relative to
// it; what it hands back is absolute, with "/" separators.
class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

  // Writes a file (creating its parent directories) and returns its path.
  std::string write(const std::string& relative, const std::string& contents) const;
  std::string makeDirectory(const std::string& relative) const;
  bool exists(const std::string& relative) const;
  // The file's contents; empty when it cannot be read.
  std::string read(const std::string& relative) const;

 private:
  std::string path_;
};

}  // namespace dupsieve::testing
