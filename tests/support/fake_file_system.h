#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace dupsieve::testing {

// One entry of the in-memory file system.
struct FakeNode {
  std::uint32_t attributes = 0;  // kAttribute* bits; directories carry kAttributeDirectory
  std::uint64_t size = 0;        // what a listing reports and a removal checks
  std::string contents;          // what a read hands out (may differ from size)
  bool failOpen = false;         // reading it, or listing it as a directory, is refused
  std::optional<Removal> deleteFailsWith;  // removing it is refused so
  std::string linkTarget;        // a symbolic link to this path when not empty
  std::uint64_t inode = 0;       // set by the fake
};

// An in-memory file system. Entries are listed in the order they were added
// (after "." and ".."), with the same wildcard rules as the real one. Paths
// are resolved with "." and empty components dropped and ".." taken back,
// so "./photos" and "photos" are one directory with one identity. Links are
// followed where the real file system follows them: in the directory part
// of a pattern or path, never as the last component, and never when a
// listing opens a subdirectory. A listing keeps to its directory whatever
// is renamed or swapped meanwhile, as a descriptor would.
class FakeFileSystem final : public FileSystem {
 public:
  static constexpr std::uint64_t kDevice = 7;

  FakeFileSystem();

  // A regular file whose size is the length of its contents.
  FakeNode& addFile(const std::string& path, std::string contents = {});
  // A regular file listed with `size` but holding only `contents`.
  FakeNode& addSizedFile(const std::string& path, std::uint64_t size, std::string contents = {});
  FakeNode& addDirectory(const std::string& path);
  // A second name of the entry at `existing`: the same inode, with a copy
  // of its contents.
  FakeNode& addHardLink(const std::string& path, const std::string& existing);
  // A symbolic link, listed as a system entry.
  FakeNode& addLink(const std::string& path, const std::string& target);
  // Any entry, attributes as given (a hidden file, a "system" entry, ...).
  FakeNode& addEntry(const std::string& path, FakeNode node);
  // The entry at `path`; it must exist.
  FakeNode& node(const std::string& path);
  bool exists(const std::string& path) const;
  // The identity a listing reports for the directory that holds the entry
  // at `path`.
  DirectoryId holderOf(const std::string& path);
  // Removes an entry with everything under it, as something other than the
  // tool would.
  void remove(const std::string& path);
  // Exchanges two entries with everything under them, each keeping its
  // identity, as an atomic exchange of two names does.
  void swap(const std::string& first, const std::string& second);

  // Runs before every listing is made, given the pattern that names it; a
  // listing opened from another is named by the pattern that would list it.
  std::function<void(const std::string& pattern)> beforeListing;

  // How many bytes a read hands to its sink at a time; small by default so
  // that digests are checked across chunk boundaries.
  std::size_t chunkSize = 3;

  std::vector<std::string> listedPatterns;  // every listing made, in order
  std::vector<std::string> readPaths;       // every successful open for reading
  std::uint64_t bytesRead = 0;              // by heads and whole contents alike
  std::vector<std::string> deletedPaths;    // every removal by the tool
  std::uint64_t unreadCount = 0;            // subdirectories refused (failOpen) to a listing

  std::unique_ptr<DirectoryListing> findFirst(const std::string& pattern) override;
  bool readLeadingBytes(const std::string& path, std::uint64_t length,
                        ByteSink& sink) override;
  Removal removeListedFile(const std::string& path, const ListedFile& listed) override;
  OpenedContent openListedFile(const std::string& path, const ListedFile& listed) override;
  std::uint64_t unreadDirectories() const override { return unreadCount; }

 private:
  friend class FakeListing;

  static std::string resolve(const std::string& path);
  static std::string parentOf(const std::string& resolved);
  static std::string nameOf(const std::string& resolved);
  static std::string childOf(const std::string& directory, const std::string& name);
  // `path` resolved with the links on the way followed (the last component's
  // too when `followLast`); nullopt when links loop.
  std::optional<std::string> followLinks(const std::string& path, bool followLast) const;
  const FakeNode* find(const std::string& path) const;
  const FakeNode* findResolved(const std::string& resolved) const;
  // Where the directory with this inode is now; nullopt when it is gone.
  std::optional<std::string> pathOfDirectory(std::uint64_t inode) const;
  std::vector<DirectoryEntry> entriesOf(const std::string& directory, const std::string& component);
  std::unique_ptr<DirectoryListing> listing(const std::string& spelledPrefix,
                                            std::uint64_t directoryInode,
                                            std::vector<DirectoryEntry> entries);

  std::map<std::string, FakeNode> nodes_;                  // by resolved path
  std::map<std::string, std::vector<std::string>> children_;  // names, in order added
  std::uint64_t nextInode_ = 100;
};

}  // namespace dupsieve::testing
