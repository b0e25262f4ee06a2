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

class DescriptorContentReader final : public ContentReader {
 public:
  explicit DescriptorContentReader(UniqueFd fd) : fd_(std::move(fd)) {}

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

 private:
  UniqueFd fd_;
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
  const std::optional<EntryMetadata> opened = calls.statusOf(fd.get());
  if (!opened) return {ContentOpening::Unreadable, nullptr};
  if (!isListedFile(*opened, listed)) return {ContentOpening::Changed, nullptr};

  // The whole file is read once, front to back: the system may read ahead
  // further than it would for the head alone.
  ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  return {ContentOpening::Opened, std::make_unique<DescriptorContentReader>(std::move(fd))};
}

}  // namespace dupsieve::linux_io
