#include "platform/linux/batch/plain_steps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/listed_file.h"

namespace dupsieve::linux_io {
namespace {

constexpr std::size_t kPage = 4096;
constexpr std::size_t kMaxChunk = std::size_t{64} * 1024;

EntryKind kindOf(unsigned mode) {
  if (S_ISREG(mode)) return EntryKind::Regular;
  if (S_ISDIR(mode)) return EntryKind::Directory;
  if (S_ISLNK(mode)) return EntryKind::Link;
  return EntryKind::Other;
}

// Wraps at 2^64 ns (about 584 years): the times are only ever compared for
// equality, never ordered.
std::uint64_t nanoseconds(std::int64_t seconds, std::uint64_t fraction) {
  return static_cast<std::uint64_t>(seconds) * 1'000'000'000u + fraction;
}

}  // namespace

bool isRefusal(int error) {
  return error == ENOSYS || error == EPERM || error == EINVAL || error == EOPNOTSUPP;
}

EntryMetadata metadataOf(const struct stat& info) {
  return EntryMetadata{kindOf(info.st_mode), static_cast<std::uint64_t>(info.st_size),
                       static_cast<std::uint64_t>(info.st_dev),
                       static_cast<std::uint64_t>(info.st_ino),
                       nanoseconds(info.st_mtim.tv_sec, static_cast<std::uint64_t>(info.st_mtim.tv_nsec)),
                       0};
}

EntryMetadata metadataOf(const struct statx& info) {
  const bool born = (info.stx_mask & STATX_BTIME) != 0;
  return EntryMetadata{kindOf(info.stx_mode), info.stx_size,
                       static_cast<std::uint64_t>(makedev(info.stx_dev_major, info.stx_dev_minor)),
                       info.stx_ino, nanoseconds(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec),
                       born ? nanoseconds(info.stx_btime.tv_sec, info.stx_btime.tv_nsec) : 0};
}

std::optional<EntryMetadata> lookUpEntry(int directoryFd, const char* name, bool& extendedStatus,
                                         int extraFlags) {
  if (extendedStatus) {
    struct statx info {};
    if (::statx(directoryFd, name, kLookUpFlags | extraFlags, kLookUpMask, &info) == 0) {
      return metadataOf(info);
    }
    if (!isRefusal(errno)) return std::nullopt;
    extendedStatus = false;
  }
  struct stat info {};
  if (::fstatat(directoryFd, name, &info, kLookUpFlags | extraFlags) != 0) return std::nullopt;
  return metadataOf(info);
}

std::optional<EntryMetadata> statusOfOpen(int fd, bool& extendedStatus) {
  return lookUpEntry(fd, "", extendedStatus, AT_EMPTY_PATH);
}

int readFlags(bool noAccessTime) {
  return O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC | (noAccessTime ? O_NOATIME : 0);
}

bool refusedNoAccessTime(int error, bool& noAccessTime) {
  if (!noAccessTime || !isRefusal(error)) return false;
  noAccessTime = false;
  return true;
}

int openForReading(int directoryFd, const char* name, bool& noAccessTime) {
  const int fd = ::openat(directoryFd, name, readFlags(noAccessTime));
  if (fd >= 0 || !refusedNoAccessTime(errno, noAccessTime)) return fd;
  return ::openat(directoryFd, name, readFlags(false));
}

std::optional<EntryMetadata> openedHead(int fd, const HeadRequest& request, bool& extendedStatus) {
  const std::optional<EntryMetadata> opened = statusOfOpen(fd, extendedStatus);
  if (!opened) return std::nullopt;
  const EntryMetadata& file = *opened;
  const bool wanted = request.listed != nullptr ? isListedFile(file, *request.listed)
                                                : file.kind == EntryKind::Regular;
  if (!wanted) return std::nullopt;
  return file;
}

std::size_t chunkFor(std::uint64_t length) {
  if (length >= kMaxChunk) return kMaxChunk;
  const std::size_t pages = (static_cast<std::size_t>(length) + kPage - 1) / kPage;
  return pages == 0 ? kPage : pages * kPage;
}

void readRest(int fd, std::uint64_t offset, std::uint64_t remaining,
              std::span<unsigned char> buffer, std::size_t index, HeadSink& sink) {
  while (remaining > 0) {
    const std::size_t want =
        remaining < buffer.size() ? static_cast<std::size_t>(remaining) : buffer.size();
    const ssize_t got = ::pread(fd, buffer.data(), want, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
    const auto count = static_cast<std::size_t>(got);
    sink.bytes(index, buffer.first(count));
    if (count < want) return;
    offset += count;
    remaining -= count;
  }
}

void closeFd(int fd) { ::close(fd); }

}  // namespace dupsieve::linux_io
