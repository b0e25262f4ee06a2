#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/calls_linux.h"

namespace dupsieve::linux_io {

// Reads the heads of many files in one pass.
// - Each file is opened relative to its directory, kept open while the next
//   file is in the same one: resolving a long path again for every file of a
//   directory is the larger part of opening it.
// - Once reads have had to wait for the device, the reader opens the files
//   it is told to expect ahead of time and asks the system to start fetching
//   their heads, so that many fetches are under way at once instead of one.
//   While the heads are in memory it does no such extra work.
class PassReader final : public HeadReader {
 public:
  enum class Prefetch { WhenReadsWait, Always };

  explicit PassReader(SystemCalls& calls, Prefetch prefetch = Prefetch::WhenReadsWait)
      : calls_(&calls), prefetching_(prefetch == Prefetch::Always) {}

  bool readLeadingBytes(const std::string& path, std::uint64_t length, ByteSink& sink) override;
  std::size_t readAhead() const override { return kReadAhead; }
  void expect(const std::string& path, std::uint64_t length) override;

 private:
  static constexpr std::size_t kReadAhead = 32;
  // Reads that had to wait before prefetching starts; a handful keeps a warm
  // run from paying for it because of a stray page.
  static constexpr int kWaitsBeforePrefetching = 8;

  struct Expected {
    std::string path;
    UniqueFd fd;  // opened ahead
  };

  // The file opened ahead for `path`, if any; forgets expectations that
  // were passed over.
  UniqueFd takeOpenedAhead(const std::string& path);
  int directoryFor(const std::string& path, std::size_t nameStart);

  SystemCalls* calls_;
  std::deque<Expected> expected_;
  bool prefetching_;
  int waits_ = 0;
  std::string directoryPath_;
  UniqueFd directoryFd_;
  std::vector<unsigned char> buffer_;
};

}  // namespace dupsieve::linux_io
