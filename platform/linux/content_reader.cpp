#include "platform/linux/content_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <utility>

#include "platform/linux/batch/plain_steps.h"
#include "platform/linux/listed_file.h"
#include "platform/linux/long_path.h"
#include "platform/path_parts.h"

namespace dupsieve::linux_io {
namespace {

// What tells a file written since it was opened: any write moves its
// modification and change times, a change of length its size. The change
// time cannot be set back by whoever writes the file.
struct WriteState {
  timespec modified{};
  timespec changed{};
  off_t size = 0;
};

WriteState writeStateOf(const struct stat& info) {
  return {info.st_mtim, info.st_ctim, info.st_size};
}

bool sameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool operator==(const WriteState& a, const WriteState& b) {
  return sameTime(a.modified, b.modified) && sameTime(a.changed, b.changed) && a.size == b.size;
}

class DescriptorContentReader final : public ContentReader {
 public:
  DescriptorContentReader(UniqueFd fd, const WriteState& opened)
      : fd_(std::move(fd)), opened_(opened) {}

  std::optional<std::size_t> read(std::span<unsigned char> into) override {
    std::size_t filled = 0;
    while (filled < into.size()) {
      const ssize_t got = ::read(fd_.get(), into.data() + filled, into.size() - filled);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return std::nullopt;
      if (got == 0) break;
      filled += static_cast<std::size_t>(got);
    }
    return filled;
  }

  bool unchangedSinceOpened() override {
    struct stat info {};
    return ::fstat(fd_.get(), &info) == 0 && writeStateOf(info) == opened_;
  }

 private:
  UniqueFd fd_;
  WriteState opened_;
};

ContentOpening failure(int error) {
  return error == ENOENT || error == ENOTDIR ? ContentOpening::Gone : ContentOpening::Unreadable;
}

}  // namespace

OpenedContent openListedContent(SystemCalls& calls, const std::string& path,
                                const ListedFile& listed) {
  // From its directory, as the heads are read: a path longer than one call
  // takes is opened like any other, and a directory made again since the
  // listing holds nothing listed.
  const PathParts parts = splitAtLastSlash(path);
  if (parts.name.empty()) return {ContentOpening::Gone, nullptr};
  const std::string name(parts.name);
  const UniqueFd at(openDirectoryPart(calls, parts.directory));
  if (at.get() < 0) return {failure(errno), nullptr};
  if (listed.directory != DirectoryId{} && !isListedDirectory(calls, at.get(), listed.directory)) {
    return {ContentOpening::Changed, nullptr};
  }
  const std::optional<EntryMetadata> before = calls.statusAt(at.get(), name.c_str());
  if (!before) return {failure(errno), nullptr};
  if (!isListedFile(*before, listed)) return {ContentOpening::Changed, nullptr};

  UniqueFd fd(calls.openForReading(at.get(), name.c_str()));
  if (fd.get() < 0) {
    // A link that took the name since the look above refuses to open.
    return {errno == ELOOP ? ContentOpening::Changed : failure(errno), nullptr};
  }
  // What a write since opening would move, taken before the identity is
  // checked, so that a write between the two cannot pass unseen.
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return {ContentOpening::Unreadable, nullptr};
  const std::optional<EntryMetadata> opened = calls.statusOf(fd.get());
  if (!opened) return {ContentOpening::Unreadable, nullptr};
  if (!isListedFile(*opened, listed)) return {ContentOpening::Changed, nullptr};

  // The whole file is read once, front to back: the system may read ahead
  // further than it would for the head alone.
  ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  return {ContentOpening::Opened,
          std::make_unique<DescriptorContentReader>(std::move(fd), writeStateOf(info))};
}

}  // namespace dupsieve::linux_io
