#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace dupsieve {

// Attribute bits of a listed entry. Only these three are ever looked at.
inline constexpr std::uint32_t kAttributeHidden = 0x02;
inline constexpr std::uint32_t kAttributeSystem = 0x04;
inline constexpr std::uint32_t kAttributeDirectory = 0x10;

// Which directory a listing lists: device and inode number. Two spellings of
// one directory's path (or a bind mount of it) give the same identity.
struct DirectoryId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  friend bool operator==(const DirectoryId&, const DirectoryId&) = default;
};

// One entry of a listing, read without following links.
struct DirectoryEntry {
  std::string name;               // the last path component only
  std::uint32_t attributes = 0;   // kAttribute* bits
  std::uint64_t size = 0;         // full length of a regular file, 0 for anything else
  std::uint64_t inode = 0;        // the entry's own inode number, 0 when unknown
};

// An open listing positioned on its current entry. Destroying it closes it.
class DirectoryListing {
 public:
  virtual ~DirectoryListing() = default;
  virtual const DirectoryEntry& entry() const = 0;
  // Moves to the next matching entry; false means the listing is over,
  // whatever the cause.
  virtual bool next() = 0;
  // The directory that holds the entries (for a pattern without wildcards,
  // the directory that holds the named entry).
  virtual DirectoryId directory() const = 0;
};

enum class FileType { Regular, Directory, Other };

struct FileStatus {
  FileType type = FileType::Other;
  std::uint64_t size = 0;   // full length of a regular file
  std::uint64_t inode = 0;
};

// Receives the leading bytes of a file, in order, a chunk at a time.
class ByteSink {
 public:
  virtual void consume(std::span<const unsigned char> bytes) = 0;

 protected:
  ~ByteSink() = default;
};

// Reads the leading bytes of files.
class HeadReader {
 public:
  virtual ~HeadReader() = default;

  // Hands at most `length` leading bytes of the regular file at `path` to
  // `sink`, in order, through a buffer of bounded size. Returns false, having
  // handed over nothing, when the path cannot be opened or is not a regular
  // file. A file shorter than `length` or a failing read ends the bytes early
  // and still returns true. Never blocks on a FIFO or device.
  virtual bool readLeadingBytes(const std::string& path, std::uint64_t length,
                                ByteSink& sink) = 0;

  // How many reads ahead the reader wants to hear of through `expect`;
  // 0 when it has no use for them.
  virtual std::size_t readAhead() const { return 0; }

  // A hint that `path` will be read soon, for `length` bytes, after the
  // paths expected before it, so that the reader may start fetching it.
  // Reads in another order, or of paths never expected, are still answered
  // correctly.
  virtual void expect(const std::string& /*path*/, std::uint64_t /*length*/) {}
};

// Everything the tool asks of the operating system. Tests replace it with an
// in-memory fake. Read through the file system itself, every path is
// resolved anew.
class FileSystem : public HeadReader {
 public:
  // Lists the entries that a pattern matches: the pattern's last component
  // may hold "*" (any run of bytes) and "?" (one byte); "*.*" matches every
  // name. A last component without wildcards names one entry. Returns null
  // when nothing matches or the directory cannot be listed.
  virtual std::unique_ptr<DirectoryListing> findFirst(const std::string& pattern) = 0;

  // A reader for one pass over many files, such as digesting every
  // candidate. It may keep the directory of the previous file open and open
  // the next file of that directory relative to it, so it must not outlive
  // the pass: a directory replaced meanwhile could still be read through
  // what it kept. By default it reads through this file system.
  virtual std::unique_ptr<HeadReader> passReader();

  // What `path` names now, without following a final link; nullopt when it
  // names nothing.
  virtual std::optional<FileStatus> status(const std::string& path) = 0;

  // Removes the one directory entry that `path` names. Never removes a
  // directory. Returns false when the entry could not be removed.
  virtual bool removeFile(const std::string& path) = 0;
};

}  // namespace dupsieve
