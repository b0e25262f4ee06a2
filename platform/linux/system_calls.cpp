#include "platform/linux/system_calls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/batch/plain_steps.h"

namespace dupsieve::linux_io {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    reset();
    fd_ = other.release();
  }
  return *this;
}

void UniqueFd::reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

SystemCalls::SystemCalls(const PreferredCalls& preferred)
    : extendedStatus_(preferred.extendedStatus),
      pathOnlyOpen_(preferred.pathOnlyOpen),
      noAccessTime_(preferred.noAccessTime) {
  // A filter that refuses a call refuses it whatever the path, so the root
  // directory, which is always there, tells for the whole run.
  if (extendedStatus_) {
    struct statx probe {};
    extendedStatus_ = ::statx(AT_FDCWD, "/", AT_SYMLINK_NOFOLLOW, STATX_TYPE, &probe) == 0;
  }
  if (pathOnlyOpen_) {
    UniqueFd probe(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    pathOnlyOpen_ = probe.get() >= 0;
  }
}

std::optional<EntryMetadata> SystemCalls::statusAt(int directoryFd, const char* name) {
  return lookUpEntry(directoryFd, name, extendedStatus_);
}

std::optional<EntryMetadata> SystemCalls::statusOf(int fd) {
  return statusOfOpen(fd, extendedStatus_);
}

int SystemCalls::openDirectoryHandle(int directoryFd, const char* name, int extraFlags) {
  const int flags = O_DIRECTORY | O_CLOEXEC | extraFlags;
  if (pathOnlyOpen_) {
    const int fd = ::openat(directoryFd, name, flags | O_PATH);
    if (fd >= 0 || !isRefusal(errno)) return fd;
    pathOnlyOpen_ = false;
  }
  return ::openat(directoryFd, name, flags | O_RDONLY);
}

int SystemCalls::openForReading(int directoryFd, const char* name) {
  return linux_io::openForReading(directoryFd, name, noAccessTime_);
}

}  // namespace dupsieve::linux_io
