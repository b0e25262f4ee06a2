#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace dupsieve::testing {

// One entry of the in-memory file system.
struct FakeNode {
  std::uint32_t attributes = 0;  // kAttribute* bits; directories carry kAttributeDirectory
  std::uint64_t size = 0;        // what a listing and a status report
  std::string contents;          // what a read hands out (may differ from size)
  bool failOpen = false;         // reading it fails as if it could not be opened
  bool failDelete = false;       // removing it fails
  std::uint64_t inode = 0;       // set by the fake
};

// An in-memory file system. Entries are listed in the order they were added
// (after "." and ".."), with the same wildcard rules as the real one. Paths
// are resolved with "." and empty components dropped and ".." taken back,
// so "./photos" and "photos" are one directory with one identity.
class FakeFileSystem final : public FileSystem {
 public:
  FakeFileSystem();

  // A regular file whose size is the length of its contents.
  FakeNode& addFile(const std::string& path, std::string contents = {});
  // A regular file listed with `size` but holding only `contents`.
  FakeNode& addSizedFile(const std::string& path, std::uint64_t size, std::string contents = {});
  FakeNode& addDirectory(const std::string& path);
  // Any entry, attributes as given (a hidden file, a "system" entry, ...).
  FakeNode& addEntry(const std::string& path, FakeNode node);
  // The entry at `path`; it must exist.
  FakeNode& node(const std::string& path);
  bool exists(const std::string& path) const;

  // How many bytes a read hands to its sink at a time; small by default so
  // that digests are checked across chunk boundaries.
  std::size_t chunkSize = 3;

  std::vector<std::string> listedPatterns;  // every findFirst, in order
  std::vector<std::string> readPaths;       // every successful open for reading
  std::uint64_t bytesRead = 0;
  std::vector<std::string> deletedPaths;    // every successful removal

  std::unique_ptr<DirectoryListing> findFirst(const std::string& pattern) override;
  bool readLeadingBytes(const std::string& path, std::uint64_t length,
                        ByteSink& sink) override;
  std::optional<FileStatus> status(const std::string& path) override;
  bool removeFile(const std::string& path) override;

 private:
  static std::string resolve(const std::string& path);
  static std::string parentOf(const std::string& resolved);
  static std::string nameOf(const std::string& resolved);
  const FakeNode* find(const std::string& path) const;

  std::map<std::string, FakeNode> nodes_;                  // by resolved path
  std::map<std::string, std::vector<std::string>> children_;  // names, in order added
  std::uint64_t nextInode_ = 100;
};

}  // namespace dupsieve::testing
