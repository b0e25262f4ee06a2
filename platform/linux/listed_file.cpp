#include "platform/linux/listed_file.h"

#include <sys/stat.h>

namespace dupsieve::linux_io {

ListedMatch matchListed(const EntryMetadata& now, const ListedFile& listed) {
  if (now.device != listed.device || now.inode != listed.inode) return ListedMatch::Changed;
  if (now.kind == EntryKind::Directory) return ListedMatch::Directory;
  if (now.kind != EntryKind::Regular) return ListedMatch::NotAFile;
  if (now.size != listed.size) return ListedMatch::Changed;
  return ListedMatch::Same;
}

bool identify(int fd, DirectoryId& id) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return false;
  id = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
  return true;
}

bool isListedDirectory(int fd, const DirectoryId& listed) {
  DirectoryId found;
  return identify(fd, found) && found == listed;
}

}  // namespace dupsieve::linux_io
