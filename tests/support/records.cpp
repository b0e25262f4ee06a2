#include "tests/support/records.h"

#include <memory>

#include "platform/path_parts.h"

namespace dupsieve::testing {

FileRecord recordAt(std::string_view path, std::uint64_t size, DirectoryId holder,
                    std::uint64_t inode) {
  return recordAt(path, size, holder, inode, holder.device);
}

FileRecord recordAt(std::string_view path, std::uint64_t size, DirectoryId holder,
                    std::uint64_t inode, std::uint64_t device) {
  const PathParts parts = splitAtLastSlash(path);
  const auto directory = std::make_shared<ListedDirectory>(std::string(parts.directory), holder);
  return FileRecord(directory, parts.name, size, inode, device);
}

FileRecord listedRecord(FakeFileSystem& fake, const std::string& path, std::uint32_t digest) {
  const FakeNode& node = fake.node(path);
  FileRecord record = recordAt(path, node.size, fake.holderOf(path), node.inode);
  record.digest = digest;
  return record;
}

}  // namespace dupsieve::testing
