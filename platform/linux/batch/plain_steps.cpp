#include "platform/linux/batch/plain_steps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>

namespace dupsieve::linux_io {
namespace {

constexpr std::size_t kPage = 4096;

EntryKind kindOf(unsigned mode) {
  if (S_ISREG(mode)) return EntryKind::Regular;
  if (S_ISDIR(mode)) return EntryKind::Directory;
  if (S_ISLNK(mode)) return EntryKind::Link;
  return EntryKind::Other;
}

}  // namespace

EntryMetadata metadataOf(const struct stat& info) {
  return EntryMetadata{kindOf(info.st_mode), static_cast<std::uint64_t>(info.st_size),
                       static_cast<std::uint64_t>(info.st_dev),
                       static_cast<std::uint64_t>(info.st_ino)};
}

EntryMetadata metadataOf(const struct statx& info) {
  return EntryMetadata{kindOf(info.stx_mode), info.stx_size,
                       static_cast<std::uint64_t>(makedev(info.stx_dev_major, info.stx_dev_minor)),
                       info.stx_ino};
}

std::size_t chunkFor(std::uint64_t length) {
  if (length >= kMaxChunk) return kMaxChunk;
  const std::size_t pages = (static_cast<std::size_t>(length) + kPage - 1) / kPage;
  return pages == 0 ? kPage : pages * kPage;
}

std::optional<EntryMetadata> lookUpEntry(int directoryFd, const char* name) {
  struct stat info {};
  if (::fstatat(directoryFd, name, &info, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT) != 0) {
    return std::nullopt;
  }
  return metadataOf(info);
}

int headOpenFlags() { return O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC; }

int openHead(int directoryFd, const char* name, bool& noAccessTime) {
  if (noAccessTime) {
    const int fd = ::openat(directoryFd, name, headOpenFlags() | O_NOATIME);
    if (fd >= 0 || errno != EPERM) return fd;
    noAccessTime = false;
  }
  return ::openat(directoryFd, name, headOpenFlags());
}

std::optional<EntryMetadata> regularFile(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return metadataOf(info);
}

std::optional<EntryMetadata> expectedFile(int fd, const HeadRequest& request) {
  std::optional<EntryMetadata> file = regularFile(fd);
  if (file && ((request.device != 0 && file->device != request.device) ||
               (request.inode != 0 && file->inode != request.inode))) {
    return std::nullopt;
  }
  return file;
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
