#include "platform/linux/long_path.h"

#include <fcntl.h>
#include <limits.h>

#include <cerrno>

#include <string>

#include "platform/path_parts.h"

namespace dupsieve::linux_io {

int openDirectoryPart(SystemCalls& calls, std::string_view directoryPart) {
  if (directoryPart.size() < PATH_MAX) {
    return calls.openDirectoryHandle(AT_FDCWD, openableDirectory(directoryPart).c_str(), 0);
  }
  // The longest leading part that ends at a "/" and fits in one call.
  const std::size_t cut = directoryPart.rfind('/', PATH_MAX - 1);
  if (cut == std::string_view::npos || cut == 0) {
    errno = ENAMETOOLONG;
    return -1;
  }
  UniqueFd at(calls.openDirectoryHandle(
      AT_FDCWD, std::string(directoryPart.substr(0, cut + 1)).c_str(), 0));
  std::size_t start = cut + 1;
  while (at.get() >= 0 && start < directoryPart.size()) {
    std::size_t end = directoryPart.find('/', start);
    if (end == std::string_view::npos) end = directoryPart.size();
    if (end > start) {
      const std::string component(directoryPart.substr(start, end - start));
      at = UniqueFd(calls.openDirectoryHandle(at.get(), component.c_str(), O_NOFOLLOW));
    }
    start = end + 1;
  }
  return at.release();
}

}  // namespace dupsieve::linux_io
