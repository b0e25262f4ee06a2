#pragma once

// Linux building blocks shared by the file system and its pass reader.

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/file_system.h"

namespace dupsieve::posix {

// Owns a file descriptor; closes it when it goes away.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd();

  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// Opens `name` (relative to `directoryFd`, or AT_FDCWD) for reading its
// head: non-blocking, never through a final link, without touching the
// access time where the system allows. -1 when it cannot be opened.
int openForReading(int directoryFd, const char* name);

// Hands at most `length` leading bytes of the open file to `sink` through
// `buffer` (grown once to a fixed size). False, with nothing handed over,
// when the file is not a regular file. Sets `hadToWait` when the first bytes
// were not in memory and had to be fetched from the device.
bool readOpenHead(int fd, std::uint64_t length, ByteSink& sink,
                  std::vector<unsigned char>& buffer, bool& hadToWait);

}  // namespace dupsieve::posix
