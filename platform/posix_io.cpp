#include "platform/posix_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

namespace dupsieve::posix {
namespace {

constexpr std::size_t kReadBufferSize = std::size_t{64} * 1024;

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.release();
  }
  return *this;
}

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

int openForReading(int directoryFd, const char* name) {
  // Non-blocking, so that a path that has turned into a FIFO since the walk
  // cannot hold the run; no final link is followed, so only what was listed
  // is read; and the access time is left alone where the system lets us.
  constexpr int flags = O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
  int fd = ::openat(directoryFd, name, flags | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = ::openat(directoryFd, name, flags);
  return fd;
}

bool readOpenHead(int fd, std::uint64_t length, ByteSink& sink,
                  std::vector<unsigned char>& buffer, bool& hadToWait) {
  hadToWait = false;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;

  if (buffer.empty()) buffer.resize(kReadBufferSize);
  std::uint64_t remaining = length;
  bool first = true;
  while (remaining > 0) {
    const std::size_t want =
        remaining < buffer.size() ? static_cast<std::size_t>(remaining) : buffer.size();
    ssize_t got = -1;
    if (first) {
      // Asking not to wait costs nothing when the bytes are in memory and
      // tells the caller when they were not.
      struct iovec chunk {buffer.data(), want};
      got = ::preadv2(fd, &chunk, 1, -1, RWF_NOWAIT);
      if (got < 0 && errno == EAGAIN) hadToWait = true;
      first = false;
    }
    if (got < 0) got = ::read(fd, buffer.data(), want);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    sink.consume(std::span<const unsigned char>(buffer.data(), static_cast<std::size_t>(got)));
    remaining -= static_cast<std::uint64_t>(got);
  }
  return true;
}

}  // namespace dupsieve::posix
