#pragma once

#include <string>
#include <vector>

#include "platform/file_system.h"

namespace dupsieve {

// The operating system's own file system.
class RealFileSystem final : public FileSystem {
 public:
  std::unique_ptr<DirectoryListing> findFirst(const std::string& pattern) override;
  bool readLeadingBytes(const std::string& path, std::uint64_t length,
                        ByteSink& sink) override;
  std::optional<FileStatus> status(const std::string& path) override;
  bool removeFile(const std::string& path) override;

  RealFileSystem();
  RealFileSystem(const RealFileSystem&) = delete;
  RealFileSystem& operator=(const RealFileSystem&) = delete;
  ~RealFileSystem() override;

 private:
  // Heads are read file after file, mostly several from one directory: where
  // the system allows it, the directory's path is resolved once and each file
  // opened relative to it. Status and removal always resolve the full path.
  int directoryFor(const std::string& directoryPath);

  std::string cachedDirectoryPath_;
  int cachedDirectoryFd_ = -1;
  std::vector<unsigned char> readBuffer_;  // bounded, reused for every read
};

}  // namespace dupsieve
