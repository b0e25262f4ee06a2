#pragma once

#include <memory>

#include "platform/file_system.h"

namespace dupsieve {

// Newer system calls that the file system prefers. Containers and sandboxes
// may refuse any of them; each has an older fallback, and the file system
// switches to it for the rest of the run the first time the newer call is
// refused. Tests turn a preference off to run on the fallback. A platform
// without such a call ignores its flag.
struct PreferredCalls {
  bool extendedStatus = true;      // Linux: statx, else fstatat
  bool readWithoutWaiting = true;  // Linux, plain batches: preadv2 with RWF_NOWAIT, else read
  bool pathOnlyOpen = true;        // Linux: O_PATH for directories held open, else O_RDONLY
  bool noAccessTime = true;        // Linux: O_NOATIME for reading, else without
  bool batchRing = true;           // Linux: batches through io_uring, else plain calls
};

// The operating system's own file system.
class RealFileSystem final : public FileSystem {
 public:
  explicit RealFileSystem(PreferredCalls preferred = {});
  RealFileSystem(const RealFileSystem&) = delete;
  RealFileSystem& operator=(const RealFileSystem&) = delete;
  ~RealFileSystem() override;

  std::unique_ptr<DirectoryListing> findFirst(const std::string& pattern) override;
  bool readLeadingBytes(const std::string& path, std::uint64_t length,
                        ByteSink& sink) override;
  void readHeads(std::span<HeadRead> reads) override;
  std::unique_ptr<OwnedHeads> startHeads(std::unique_ptr<OwnedHeads> batch) override;
  std::vector<std::unique_ptr<OwnedHeads>> collectHeads(bool wait) override;
  Removal removeListedFile(const std::string& path, const ListedFile& listed) override;
  OpenedContent openListedFile(const std::string& path, const ListedFile& listed) override;
  std::uint64_t unreadDirectories() const override;

 private:
  struct State;  // each platform's own
  std::unique_ptr<State> state_;
};

}  // namespace dupsieve
