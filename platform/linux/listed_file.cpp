#include "platform/linux/listed_file.h"

namespace dupsieve::linux_io {
namespace {

// A birth time unknown on either side cannot tell them apart.
bool sameBirth(std::uint64_t now, std::uint64_t listed) {
  return now == 0 || listed == 0 || now == listed;
}

}  // namespace

ListedMatch matchListed(const EntryMetadata& now, const ListedFile& listed) {
  if (now.device != listed.device || now.inode != listed.inode || !sameBirth(now.born, listed.born)) {
    return ListedMatch::Changed;
  }
  if (now.kind == EntryKind::Directory) return ListedMatch::Directory;
  if (now.kind != EntryKind::Regular) return ListedMatch::NotAFile;
  if (now.size != listed.size || now.modified != listed.modified) return ListedMatch::Changed;
  return ListedMatch::Same;
}

bool identify(SystemCalls& calls, int fd, DirectoryId& id) {
  const std::optional<EntryMetadata> status = calls.statusOf(fd);
  if (!status) return false;
  id = {status->device, status->inode, status->born};
  return true;
}

bool isListedDirectory(SystemCalls& calls, int fd, const DirectoryId& listed) {
  DirectoryId found;
  return identify(calls, fd, found) && found.device == listed.device &&
         found.inode == listed.inode && sameBirth(found.born, listed.born);
}

}  // namespace dupsieve::linux_io
