#include "platform/linux/system_calls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/batch/plain_steps.h"

namespace dupsieve::linux_io {
namespace {

// The answers of a sandbox or an older kernel to a call or flag it does not
// offer, as opposed to the answers about the file asked for.
bool isRefusal(int error) {
  return error == ENOSYS || error == EPERM || error == EINVAL || error == EOPNOTSUPP;
}

}  // namespace

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

bool SystemCalls::statusAt(int directoryFd, const char* name, EntryMetadata& status) {
  constexpr int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;
  if (extendedStatus_) {
    struct statx info {};
    if (::statx(directoryFd, name, flags, STATX_TYPE | STATX_SIZE | STATX_INO, &info) == 0) {
      status = metadataOf(info);
      return true;
    }
    if (!isRefusal(errno)) return false;
    extendedStatus_ = false;
  }
  struct stat info {};
  if (::fstatat(directoryFd, name, &info, flags) != 0) return false;
  status = metadataOf(info);
  return true;
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
  // Non-blocking, so that a path that has turned into a FIFO since the walk
  // cannot hold the run; no final link is followed, so only what was listed
  // is read; and the access time is left alone where the system lets us. It
  // does not for files of other owners: asking again for every such file
  // would double the opens, so the first refusal settles it.
  const int flags = headOpenFlags();
  if (noAccessTime_) {
    const int fd = ::openat(directoryFd, name, flags | O_NOATIME);
    if (fd >= 0 || !isRefusal(errno)) return fd;
    noAccessTime_ = false;
  }
  return ::openat(directoryFd, name, flags);
}

}  // namespace dupsieve::linux_io
