#pragma once

#include <cstdint>

namespace dupsieve::windows {

// What a Windows reparse point is to the walk, judged by its tag.
enum class ReparseKind {
  // It names another place (symbolic link, junction, mount point): never
  // recorded, opened or descended, so a walk cannot loop or leave its tree.
  Link,
  // Not data at all (a socket, a FIFO or device of the Linux subsystem, an
  // application alias): never recorded or opened.
  Special,
  // Its data or contents are served by the system as those of an ordinary
  // file or directory (cloud placeholders, deduplicated or compressed
  // files): a file or directory like any other.
  Transparent,
};

// A tag the system reports for an entry marked as a reparse point. Tag 0
// tells nothing (some systems report no tag) and counts as a link, so that
// what is unknown is never followed.
ReparseKind classifyReparseTag(std::uint32_t tag);

}  // namespace dupsieve::windows
