#pragma once

// Linux building blocks shared by the file system, its listings, its head
// reads and its readers of whole files.

#include <optional>
#include <utility>

#include "platform/linux/batch/batch_io.h"
#include "platform/real_file_system.h"

namespace dupsieve::linux_io {

// Owns a file descriptor; closes it when it goes away.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }
  void reset();

 private:
  int fd_;
};

// The calls of one run where a newer call may be refused by a sandbox or
// container. Each choice is made once: by a probe when the file system is
// made, or the first time the newer call is refused, after which the older
// call serves for the rest of the run.
class SystemCalls {
 public:
  explicit SystemCalls(const PreferredCalls& preferred);

  // Status of `name` relative to `directoryFd` (or AT_FDCWD), as
  // lookUpEntry tells it. nullopt when it cannot be had; errno says why.
  std::optional<EntryMetadata> statusAt(int directoryFd, const char* name);
  // The same of an open descriptor.
  std::optional<EntryMetadata> statusOf(int fd);

  // Opens a directory to reach what is in it (open files relative to it,
  // look at their status, remove them), not to read it. `extraFlags` may add
  // O_NOFOLLOW. -1 when it cannot be opened; errno says why.
  int openDirectoryHandle(int directoryFd, const char* name, int extraFlags);

  // Opens `name` (relative to `directoryFd`, or AT_FDCWD) for reading, as
  // the heads are opened (readFlags). -1 when it cannot be opened.
  int openForReading(int directoryFd, const char* name);

 private:
  bool extendedStatus_;
  bool pathOnlyOpen_;
  bool noAccessTime_;
};

}  // namespace dupsieve::linux_io
