#pragma once

// What the tests of a real file system share: a sink that keeps the bytes
// it is handed, and what a listing shows.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <span>
#include <string>
#include <utility>

#include "platform/file_system.h"

namespace dupsieve::testing {

// Keeps the bytes a reader hands over, in order.
class StringSink final : public ByteSink {
 public:
  void consume(std::span<const unsigned char> bytes) override {
    data.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  std::string data;
};

// Every entry that a listing of `pattern` yields, by name; empty when
// findFirst gives null. A name listed twice fails the calling test.
inline std::map<std::string, DirectoryEntry> entriesByName(FileSystem& fileSystem,
                                                           const std::string& pattern) {
  std::map<std::string, DirectoryEntry> entries;
  std::unique_ptr<DirectoryListing> listing = fileSystem.findFirst(pattern);
  if (!listing) return entries;
  do {
    const DirectoryEntry& entry = listing->entry();
    EXPECT_TRUE(entries.emplace(entry.name, entry).second)
        << "name listed twice: \"" << entry.name << "\" for pattern " << pattern;
  } while (listing->next());
  return entries;
}

// What a listing reported of its current entry.
inline ListedFile listedFile(const DirectoryListing& listing) {
  const DirectoryEntry& entry = listing.entry();
  return ListedFile{listing.directory(), entry.device, entry.inode, entry.size, entry.modified,
                    entry.born};
}

// What a listing of `path` reports of the entry it names now; nothing known,
// and the calling test failed, when it names none.
inline ListedFile listedNow(FileSystem& fileSystem, const std::string& path) {
  const std::unique_ptr<DirectoryListing> listing = fileSystem.findFirst(path);
  EXPECT_NE(listing, nullptr) << path;
  return listing ? listedFile(*listing) : ListedFile{};
}

// What the removal tests call `listedNow` and `remove`: the two, on paths
// relative to `tree` (anything with `tree / relative`), through `fileSystem`.
template <class Tree>
auto relativeRemovals(FileSystem& fileSystem, const Tree& tree) {
  return std::pair{
      [&fileSystem, &tree](const std::string& relative) {
        return listedNow(fileSystem, tree / relative);
      },
      [&fileSystem, &tree](const std::string& relative, const ListedFile& listed) {
        return fileSystem.removeListedFile(tree / relative, listed);
      }};
}

}  // namespace dupsieve::testing
