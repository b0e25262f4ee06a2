#include "platform/pass_reader_linux.h"

#include <fcntl.h>

#include <algorithm>
#include <string_view>

#include "platform/path_parts.h"

namespace dupsieve::linux_io {

void PassReader::expect(const std::string& path, std::uint64_t length) {
  // While the heads are in memory, expecting costs nothing at all.
  if (!prefetching_ || length == 0) return;
  UniqueFd fd(calls_->openForReading(AT_FDCWD, path.c_str()));
  if (fd.get() < 0) return;
  // Starts the fetch and returns at once; the read comes later.
  ::posix_fadvise(fd.get(), 0, static_cast<off_t>(std::min<std::uint64_t>(length, 1 << 20)),
                  POSIX_FADV_WILLNEED);
  expected_.push_back(Expected{path, std::move(fd)});
}

UniqueFd PassReader::takeOpenedAhead(const std::string& path) {
  if (expected_.empty()) return UniqueFd();
  const auto found = std::find_if(expected_.begin(), expected_.end(),
                                  [&](const Expected& e) { return e.path == path; });
  if (found == expected_.end()) return UniqueFd();
  UniqueFd fd = std::move(found->fd);
  expected_.erase(expected_.begin(), found + 1);
  return fd;
}

int PassReader::directoryFor(const std::string& path, std::size_t nameStart) {
  if (nameStart == 0) return AT_FDCWD;
  const std::string_view directory(path.data(), nameStart);
  if (directoryFd_.get() < 0 || directory != directoryPath_) {
    directoryPath_.assign(directory);
    directoryFd_ = UniqueFd(calls_->openDirectoryHandle(AT_FDCWD, directoryPath_.c_str(), 0));
  }
  return directoryFd_.get();
}

bool PassReader::readLeadingBytes(const std::string& path, std::uint64_t length,
                                  ByteSink& sink) {
  UniqueFd fd = takeOpenedAhead(path);
  if (fd.get() < 0) {
    const std::size_t nameStart = splitAtLastSlash(path).directory.size();
    const int directoryFd = directoryFor(path, nameStart);
    if (directoryFd < 0 && directoryFd != AT_FDCWD) return false;
    fd = UniqueFd(calls_->openForReading(directoryFd, path.c_str() + nameStart));
    if (fd.get() < 0) return false;
  }
  bool hadToWait = false;
  const bool read = calls_->readOpenHead(fd.get(), length, sink, buffer_, hadToWait);
  if (hadToWait && ++waits_ >= kWaitsBeforePrefetching) prefetching_ = true;
  return read;
}

}  // namespace dupsieve::linux_io
