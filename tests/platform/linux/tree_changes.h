#pragma once

// Real trees changed as an attacker racing the walk would, and walked.

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/directory_walker.h"

namespace dupsieve::testing {

// Exchanges two names atomically, as an attacker racing the walk would.
inline bool exchange(const std::string& first, const std::string& second) {
  return ::renameat2(AT_FDCWD, first.c_str(), AT_FDCWD, second.c_str(), RENAME_EXCHANGE) == 0;
}

inline void linkAt(const std::string& target, const std::string& path) {
  ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0) << std::strerror(errno);
}

inline std::vector<std::string> pathsOf(const std::vector<FileRecord>& files) {
  std::vector<std::string> paths;
  for (const FileRecord& file : files) paths.push_back(file.path());
  return paths;
}

inline std::vector<FileRecord> walk(FileSystem& fileSystem, const std::string& start) {
  std::vector<FileRecord> files;
  DirectoryWalker(files, false, true, fileSystem)(start);
  return files;
}

}  // namespace dupsieve::testing
