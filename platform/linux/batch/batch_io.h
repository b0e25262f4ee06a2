#pragma once

// Batched kernel I/O: a stage hands over many requests at once, each relative
// to an open directory descriptor, and hears of each result through a sink,
// in whatever order the results come. Where io_uring is available the
// requests go through one ring, many per system call; elsewhere the same
// results come through plain calls.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <thread>

#include "platform/file_system.h"

namespace dupsieve::linux_io {

enum class EntryKind { Regular, Directory, Link, Other };

// What a directory entry is, read without following a final link or
// triggering an automount.
struct EntryMetadata {
  EntryKind kind = EntryKind::Other;
  std::uint64_t size = 0;  // full length; meaningful for regular files
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t modified = 0;  // nanoseconds since 1970
  std::uint64_t born = 0;      // likewise; 0 where the file system does not tell it
  friend bool operator==(const EntryMetadata&, const EntryMetadata&) = default;
};

// An entry to look at: `name` (one path component or a relative path, never
// followed through a final link) in the directory open as `directoryFd`
// (AT_FDCWD for the working directory). The name must stay valid until the
// call that takes the request returns.
struct EntryRequest {
  int directoryFd;
  const char* name;
};

// A file whose leading bytes are wanted: at most `length` of them. Where
// `listed` is set, the file opened must be that listed file (isListedFile);
// another file by that name is not read. Both pointers must stay valid until
// the call that takes the request returns.
struct HeadRequest {
  int directoryFd;
  const char* name;
  std::uint64_t length;
  const ListedFile* listed = nullptr;
};

// Hears of the metadata of each entry of a batch.
class MetadataSink {
 public:
  // Called exactly once per request, in any order. nullopt when the entry
  // could not be looked at (gone, refused, a component not a directory).
  virtual void entry(std::size_t index, const std::optional<EntryMetadata>& metadata) = 0;

 protected:
  ~MetadataSink() = default;
};

// Hears of the leading bytes of each file of a batch.
class HeadSink {
 public:
  // The next bytes of request `index`, continuing where its previous call
  // ended. Calls for different requests may interleave; the bytes are valid
  // only during the call.
  virtual void bytes(std::size_t index, std::span<const unsigned char> bytes) = 0;

  // Request `index` is over; called exactly once per request, after its
  // bytes. `file` is what was opened, when it was a regular file; nullopt,
  // with no bytes handed over, when the name could not be opened without
  // following a final link, did not name a regular file or named another
  // file than the one the request expects. Fewer bytes than
  // asked mean the file ended (or a read failed) first.
  virtual void done(std::size_t index, const std::optional<EntryMetadata>& file) = 0;

 protected:
  ~HeadSink() = default;
};

enum class BatchMode { Ring, PlainCalls };

// Runs batches. It is used from the thread that opened it (the ring lets
// only that thread submit, which spares it locking). Sinks are called on that
// thread, inside the call that took the batch, and must not throw.
class BatchIo {
 public:
  virtual ~BatchIo() = default;

  // Looks at every entry of `requests`.
  virtual void lookUp(std::span<const EntryRequest> requests, MetadataSink& sink) = 0;

  // Reads the leading bytes of every file of `requests`. Each is opened
  // non-blocking and without following a final link, and read only once it
  // is known to be a regular file, so a FIFO or device never holds the run
  // and is never read. Memory stays bounded whatever the lengths: files are
  // read in chunks of a fixed size, a bounded number at a time.
  virtual void readHeads(std::span<const HeadRequest> requests, HeadSink& sink) = 0;

  virtual BatchMode mode() const = 0;
};

struct BatchSettings {
  // Requests in flight at once (and so descriptors open at once).
  unsigned depth = 64;
  // Chunks read into buffers registered with the kernel once. It gained
  // nothing measurable for buffered reads and pins the memory, so it is off
  // unless asked for.
  bool registeredBuffers = false;
  // Plain calls ask for the first chunk of a head without waiting, which
  // tells them when reads wait for the device; off, they just read.
  bool readWithoutWaiting = true;
  // Lookups go through statx until it is refused; off, through fstatat.
  bool extendedStatus = true;
  // Behave from the first request as once the device has been waited for:
  // lookups through the ring, heads fetched ahead by plain calls (for tests
  // and measurements; the results are the same either way).
  bool startAsIfCold = false;
};

enum class BatchChoice { Automatic, PlainCalls };

// The engine for this run: io_uring when the kernel offers it and lets this
// process use it, otherwise plain calls. Decide once per run and keep it.
std::unique_ptr<BatchIo> openBatchIo(BatchChoice choice = BatchChoice::Automatic,
                                     const BatchSettings& settings = {});

// The two ways, for those who must choose: the ring is null when io_uring
// cannot be used here.
std::unique_ptr<BatchIo> openRingBatchIo(const BatchSettings& settings);
std::unique_ptr<BatchIo> openPlainBatchIo(const BatchSettings& settings = {});

// The engines of one file system: the way (ring or plain calls) is decided
// once, by the first engine, opened on the thread that made this. A ring
// takes requests only from the thread that set it up, so another thread
// gets an engine of the same way for its call alone.
class EnginePerThread {
 public:
  EnginePerThread(BatchChoice choice, const BatchSettings& settings);

  // The engine for the calling thread; where a new one must be opened, it
  // is held by `opened` for as long as the caller needs it.
  BatchIo& here(std::unique_ptr<BatchIo>& opened);
  BatchMode mode() const { return first_->mode(); }

 private:
  BatchSettings settings_;
  std::thread::id firstThread_;
  std::unique_ptr<BatchIo> first_;
};

}  // namespace dupsieve::linux_io
