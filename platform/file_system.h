#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dupsieve {

// Attribute bits of a listed entry. Only these three are ever looked at.
inline constexpr std::uint32_t kAttributeHidden = 0x02;
inline constexpr std::uint32_t kAttributeSystem = 0x04;
inline constexpr std::uint32_t kAttributeDirectory = 0x10;

// Which directory a listing lists: device and inode number, and its birth
// time where the system tells it, which a directory removed and made again
// at the same inode does not share. Two spellings of one directory's path
// (or a bind mount of it) give the same identity. {0, 0} means unknown.
struct DirectoryId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t born = 0;  // birth time (see DirectoryEntry), 0 when unknown
  // One directory however it is named: the birth time, which one spelling's
  // listing may tell and another's not, serves only the checks that it was
  // not made again since (each system's isListedDirectory).
  friend bool operator==(const DirectoryId& a, const DirectoryId& b) {
    return a.device == b.device && a.inode == b.inode;
  }
};

// One entry of a listing, read without following links.
struct DirectoryEntry {
  std::string name;               // the last path component only
  std::uint32_t attributes = 0;   // kAttribute* bits
  std::uint64_t size = 0;         // full length of a regular file, 0 for anything else
  std::uint64_t inode = 0;        // the entry's own inode number, 0 when unknown
  std::uint64_t device = 0;       // the device that holds it, 0 when unknown
  // Times that tell a file made again at a reused inode, or rewritten, from
  // the one listed: on Linux nanoseconds since 1970 (the birth time only
  // where the file system keeps it), on Windows the last-write and creation
  // times in the system's own units. 0 when unknown.
  std::uint64_t modified = 0;
  std::uint64_t born = 0;
};

// An open listing positioned on its current entry. Destroying it closes it;
// listings opened from it may outlive it.
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

  // Lists every entry ("." and ".." included) of the directory that the
  // current entry names, positioned on the first. The directory is reached
  // from this listing's own directory, never through a link, and only if it
  // is still the one this listing reported (same device and inode): a
  // directory replaced since, by a link or by another directory, is not
  // listed, so a walk never leaves the tree it was given. Null when the
  // current entry is not such a directory (or is "." or ".."), or when it
  // cannot be opened or read. What open listings hold is each system's own:
  // on Linux, however deep they nest, a bounded number of descriptors (a
  // directory gives its descriptor up and is opened again, checked, when
  // needed); on Windows, each open listing holds its directory's handle, so
  // a walk holds one per level of depth, handles there having no small
  // per-process limit.
  virtual std::unique_ptr<DirectoryListing> openSubdirectory() = 0;
};

// Receives the leading bytes of a file, in order, a chunk at a time.
class ByteSink {
 public:
  virtual void consume(std::span<const unsigned char> bytes) = 0;

 protected:
  ~ByteSink() = default;
};

// What a listing reported of a file, so that a later operation can tell
// whether a path still names that very file. A Linux listing tells every
// part, and each part must match; a Windows one gives zero for what its file
// system would not tell, and a zero part is then not compared. Nothing known
// at all ({}) is what a single read by path gives.
struct ListedFile {
  DirectoryId directory;    // the listing's directory()
  std::uint64_t device = 0; // the entry's device and inode
  std::uint64_t inode = 0;
  std::uint64_t size = 0;   // its size as listed
  std::uint64_t modified = 0;  // its times as listed (DirectoryEntry)
  std::uint64_t born = 0;
  friend bool operator==(const ListedFile&, const ListedFile&) = default;
};

// One file of a batch whose leading bytes are wanted. Its path is
// `directory` followed by `name`.
struct HeadRead {
  std::string_view directory;  // up to and including the last "/"; empty for none
  std::string_view name;       // the last component
  ListedFile listed;           // what the listing reported of it
  std::uint64_t length = 0;    // at most this many leading bytes
  ByteSink* sink = nullptr;    // receives them, in order
  bool read = false;           // set when the file was opened and its bytes handed over
};

// A batch of heads that owns everything its reads point to (the parts of
// the paths, the sinks), so that it can be read on another thread while the
// one that made it goes on.
class OwnedHeads {
 public:
  virtual ~OwnedHeads() = default;
  std::vector<HeadRead> reads;
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

  // Reads a batch as `readLeadingBytes` reads one file, setting `read` where
  // that would return true. The files may be read in any order, and the
  // chunks of different files may come interleaved; each sink gets its own
  // file's bytes in order. Where the system allows it, a file is read only
  // if it is still the one listed: reached from its directory as listed
  // (same device and inode), and with the listed device, inode, size and times
  // itself; anything else counts as unreadable. Memory stays bounded whatever the
  // lengths. By default, one file after the other through
  // `readLeadingBytes`.
  virtual void readHeads(std::span<HeadRead> reads);

  // Reads `batch` as `readHeads` would, beside the caller where the system
  // can: the batch is then taken and comes back from `collectHeads`, and
  // null is returned. Otherwise it is read at once and returned. While
  // several batches taken are still unread, a new one is returned at once
  // with nothing read (every `read` false), so that the caller never waits
  // for the reader and what the batches hold stays bounded: whoever wanted
  // those heads reads them later. By default, read at once.
  virtual std::unique_ptr<OwnedHeads> startHeads(std::unique_ptr<OwnedHeads> batch);

  // The batches taken by `startHeads` that have been read by now, in the
  // order they were taken; with `wait`, every batch taken, once read.
  virtual std::vector<std::unique_ptr<OwnedHeads>> collectHeads(bool wait);
};

// How an attempt to remove a listed file ended.
enum class Removal {
  Removed,
  RemovedName,        // removed, but other names (hard links) keep the file's data
  Gone,               // nothing by that name any more, or its directory is gone
  Changed,            // another file by that name now, or the file was rewritten
  DirectoryReplaced,  // its directory was moved or replaced since the listing
  Directory,          // the entry is a directory (listed so, or replaced by one)
  NotAFile,           // the entry is a link, FIFO, device or the like
  PermissionDenied,   // the system refused for want of permission
  InUse,              // the system refused because something holds it
  ReadOnly,           // the file system cannot be written
  Refused,            // the system refused for another reason
};

// Reads one opened file front to back, in chunks of the caller's size.
// Destroying it closes the file.
class ContentReader {
 public:
  virtual ~ContentReader() = default;
  // Fills `into` with the next bytes of the file and returns how many it
  // holds: fewer than asked only at the end of the file, 0 once the end has
  // been reached. nullopt when a read fails.
  virtual std::optional<std::size_t> read(std::span<unsigned char> into) = 0;
  // Whether the open file's modification time, change time and size are
  // still what they were when it was opened, as its handle tells them: a
  // write anywhere in it since, even behind what has been read, gives
  // false, and so does any doubt (the system would not tell).
  virtual bool unchangedSinceOpened() = 0;
};

// How opening a listed file for its contents went.
enum class ContentOpening {
  Opened,
  Gone,        // nothing by that name any more
  Changed,     // another file by that name now, not a regular file, or rewritten
  Unreadable,  // it is there but cannot be opened for reading
};

struct OpenedContent {
  ContentOpening outcome = ContentOpening::Unreadable;
  std::unique_ptr<ContentReader> reader;  // set when, and only when, Opened
};

// Everything the tool asks of the operating system. Tests replace it with an
// in-memory fake. Every path is resolved anew at each operation. Listings
// it hands out must not outlive it.
class FileSystem : public HeadReader {
 public:
  // Lists the entries that a pattern matches: the pattern's last component
  // may hold "*" (any run of bytes) and "?" (one byte); "*.*" matches every
  // name. A last component without wildcards names one entry. The part
  // before the last "/" is what the user named and is resolved as any path
  // is, links included. Returns null when nothing matches or the directory
  // cannot be listed.
  virtual std::unique_ptr<DirectoryListing> findFirst(const std::string& pattern) = 0;

  // Removes the file at `path` only if it is still the one that was listed:
  // its directory (reached by `path`) is still `listed.directory`, and the
  // entry there, not followed if it is a link, is a regular file with the
  // listed device, inode, size and times. The entry is then removed from that very
  // directory, so a directory swapped for a link meanwhile cannot redirect
  // the removal. Never removes a directory. Says how it ended.
  virtual Removal removeListedFile(const std::string& path, const ListedFile& listed) = 0;

  // Opens the file at `path` for reading all of it, only if it is still the
  // one that was listed: a regular file (a final link is not followed) of
  // the listed size, device, inode and times (as ListedFile says which parts
  // count). Nothing else is opened, so a FIFO or a device that has taken
  // the name can neither block nor be read. Says why when it does not open.
  virtual OpenedContent openListedFile(const std::string& path, const ListedFile& listed) = 0;

  // How many subdirectories the listings so far could not open (refused,
  // or no descriptor to be had however many were given back), so that
  // what is in them was not searched; those gone or replaced since they
  // were listed are passed over by design and not counted.
  virtual std::uint64_t unreadDirectories() const { return 0; }
};

}  // namespace dupsieve
