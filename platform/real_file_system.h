#pragma once

#include <vector>

#include "platform/file_system.h"

namespace dupsieve {

// The operating system's own file system.
class RealFileSystem final : public FileSystem {
 public:
  std::unique_ptr<DirectoryListing> findFirst(const std::string& pattern) override;
  bool readLeadingBytes(const std::string& path, std::uint64_t length,
                        ByteSink& sink) override;
  std::unique_ptr<HeadReader> passReader() override;
  std::optional<FileStatus> status(const std::string& path) override;
  bool removeFile(const std::string& path) override;

  RealFileSystem();
  RealFileSystem(const RealFileSystem&) = delete;
  RealFileSystem& operator=(const RealFileSystem&) = delete;
  ~RealFileSystem() override;

 private:
  std::vector<unsigned char> readBuffer_;  // bounded, reused for every read
};

}  // namespace dupsieve
