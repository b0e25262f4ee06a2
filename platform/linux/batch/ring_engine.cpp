// The engine on io_uring: a fixed number of slots, each carrying one request
// through its steps with at most one operation in the ring at a time, and
// every step of every slot submitted together, so that one system call
// serves many files.
//
// A head goes: open (non-blocking, no final link) -> check -> reads -> close.
// The type is checked on the descriptor that was opened, not on the name, so
// an entry swapped for a FIFO or device between the two is never read. The
// check is a plain call on the descriptor: the ring's statx cannot take a
// descriptor without handing the work to a kernel worker thread, which costs
// more than the call (bench/check_probe: three times as long, warm).
// A step the ring fails is redone by its plain call, which gives the same
// answer as the plain engine. Should the ring itself be refused once set up
// (a sandbox that allows io_uring_setup but not io_uring_enter, or any later
// failure of the ring), the requests in it are finished by plain calls and
// the plain engine serves the rest of the run.

#include <fcntl.h>
#include <liburing.h>
#include <sys/stat.h>
#include <sys/uio.h>

#include <cerrno>
#include <chrono>
#include <utility>
#include <vector>

#include "platform/linux/batch/plain_steps.h"

namespace dupsieve::linux_io {
namespace {

// A lookup from memory takes a few microseconds; one that reads the device
// takes far longer. On a cold cache a good share of lookups read the device
// (one inode block holds a handful of entries); on a busy machine a stray
// lookup is slow because another process had the processor. So it takes a
// handful of slow lookups, and at least one in kSlowShare of all so far.
constexpr auto kSlowLookUp = std::chrono::microseconds(50);
constexpr std::uint64_t kSlowLookUpsBeforeRing = 8;
constexpr std::uint64_t kSlowShare = 64;

enum class Step : unsigned { Open, Read, Close, LookUp };

std::uint64_t tagOf(std::size_t slot, Step step) {
  return (static_cast<std::uint64_t>(slot) << 3) | static_cast<std::uint64_t>(step);
}

// Sets up a ring with the cheapest way of running completions the kernel
// offers, trying older ways on older kernels.
bool initRing(unsigned entries, io_uring& ring) {
  const unsigned tries[] = {IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_DEFER_TASKRUN,
                            IORING_SETUP_COOP_TASKRUN, 0};
  for (unsigned flags : tries) {
    io_uring_params params{};
    params.flags = flags;
    const int result = io_uring_queue_init_params(entries, &ring, &params);
    if (result == 0) return true;
    if (result != -EINVAL) return false;  // refused outright: ENOSYS, EPERM, ENOMEM
  }
  return false;
}

bool supportsEverythingUsed(io_uring& ring) {
  io_uring_probe* probe = io_uring_get_probe_ring(&ring);
  if (probe == nullptr) return false;
  bool supported = true;
  for (int op :
       {IORING_OP_OPENAT, IORING_OP_STATX, IORING_OP_READ, IORING_OP_READ_FIXED, IORING_OP_CLOSE}) {
    supported = supported && io_uring_opcode_supported(probe, op) != 0;
  }
  io_uring_free_probe(probe);
  return supported;
}

class RingBatchIo final : public BatchIo {
 public:
  explicit RingBatchIo(const BatchSettings& settings)
      : slots_(settings.depth),
        useRegistered_(settings.registeredBuffers),
        ringLookUps_(settings.startAsIfCold),
        extendedStatus_(settings.extendedStatus),
        settings_(settings) {
    ringOpen_ = initRing(static_cast<unsigned>(slots_.size()), ring_);
  }
  RingBatchIo(const RingBatchIo&) = delete;
  RingBatchIo& operator=(const RingBatchIo&) = delete;
  ~RingBatchIo() override {
    if (ringOpen_) io_uring_queue_exit(&ring_);
  }

  // False when the kernel refused the ring or lacks an operation it needs.
  bool usable() { return ringOpen_ && supportsEverythingUsed(ring_); }

  void lookUp(std::span<const EntryRequest> requests, MetadataSink& sink) override;
  void readHeads(std::span<const HeadRequest> requests, HeadSink& sink) override;
  BatchMode mode() const override { return plain_ ? BatchMode::PlainCalls : BatchMode::Ring; }

 private:
  struct Slot {
    std::size_t index = 0;  // of the request it carries
    bool busy = false;
    Step pending = Step::Open;  // the operation it has in the ring
    std::uint64_t sequence = 0;  // of that operation among all prepared
    int fd = -1;
    int closing = -1;  // the descriptor its close in the ring closes
    bool noAccessTime = true;
    std::uint64_t offset = 0;
    std::uint64_t remaining = 0;
    std::size_t asked = 0;  // by the read in the ring
    std::optional<EntryMetadata> file;
    struct statx info {};
  };

  // Runs `start` for each request from `first` to `count` while a slot is
  // free and `complete` for each completion, which says whether the slot is
  // free again, until every request is done. Where the ring breaks, it
  // stops and returns the first request not started; the busy slots are
  // left as they were, for the caller to finish by plain calls.
  template <typename Start, typename Complete>
  std::size_t run(std::size_t first, std::size_t count, Start start, Complete complete);
  io_uring_sqe* nextSqe(std::size_t slot, Step step);
  // Whether the operation `slot` has in the ring was never taken by the
  // kernel (so it will never run).
  bool neverTaken(std::size_t slot);
  void finishHeadByPlainCalls(std::size_t slot, const HeadRequest& request, HeadSink& sink);

  void startHead(std::size_t slot, const HeadRequest& request);
  void submitOpen(std::size_t slot, const HeadRequest& request);
  void headStepDone(std::size_t slot, Step step, int result, const HeadRequest& request,
                    HeadSink& sink);
  void openDone(std::size_t slot, int result, const HeadRequest& request);
  void readDone(std::size_t slot, int result, HeadSink& sink);
  void readNext(std::size_t slot);
  void closeSlot(std::size_t slot);
  // Makes sure every slot has a buffer of `chunk` bytes.
  void ensureBuffers(std::size_t chunk);
  std::span<unsigned char> bufferOf(std::size_t slot) {
    return std::span<unsigned char>(buffers_).subspan(slot * chunk_, chunk_);
  }

  io_uring ring_{};
  bool ringOpen_ = false;
  std::vector<Slot> slots_;
  std::vector<std::size_t> freeSlots_;
  bool useRegistered_;
  bool registered_ = false;
  std::size_t chunk_ = 0;
  std::vector<unsigned char> buffers_;  // one chunk per slot
  bool ringLookUps_;
  std::uint64_t plainLookUps_ = 0;
  std::uint64_t slowLookUps_ = 0;
  bool extendedStatus_;  // for the lookups made by plain calls
  bool noAccessTime_ = true;  // until the first file of another owner refuses it
  BatchSettings settings_;
  std::uint64_t prepared_ = 0;  // operations prepared in the ring so far
  std::vector<unsigned char> plainBuffer_;  // apart: the kernel may still write the slots'
  std::unique_ptr<BatchIo> plain_;  // once the ring broke, for the rest of the run
};

// Tells the sink of a whole batch about the part of it from `first` on.
class ShiftedSink final : public MetadataSink, public HeadSink {
 public:
  ShiftedSink(std::size_t first, MetadataSink* entries, HeadSink* heads)
      : first_(first), entries_(entries), heads_(heads) {}
  void entry(std::size_t index, const std::optional<EntryMetadata>& metadata) override {
    entries_->entry(first_ + index, metadata);
  }
  void bytes(std::size_t index, std::span<const unsigned char> bytes) override {
    heads_->bytes(first_ + index, bytes);
  }
  void done(std::size_t index, const std::optional<EntryMetadata>& file) override {
    heads_->done(first_ + index, file);
  }

 private:
  std::size_t first_;
  MetadataSink* entries_;
  HeadSink* heads_;
};

template <typename Start, typename Complete>
std::size_t RingBatchIo::run(std::size_t first, std::size_t count, Start start,
                             Complete complete) {
  freeSlots_.clear();
  for (std::size_t slot = slots_.size(); slot-- > 0;) freeSlots_.push_back(slot);
  std::size_t next = first;
  std::size_t busy = 0;
  while (next < count || busy > 0) {
    while (next < count && !freeSlots_.empty()) {
      const std::size_t slot = freeSlots_.back();
      freeSlots_.pop_back();
      slots_[slot].index = next;
      slots_[slot].busy = true;
      start(slot, next++);
      ++busy;
    }
    const int submitted = io_uring_submit_and_wait(&ring_, 1);
    if (submitted < 0 && submitted != -EINTR && submitted != -EAGAIN && submitted != -EBUSY) {
      // The ring itself is refused (a sandbox that lets it be set up but
      // not entered, EPERM or ENOSYS) or broke: no completion can be
      // counted on any more.
      plain_ = openPlainBatchIo(settings_);
      return next;
    }
    unsigned seen = 0;
    unsigned head = 0;
    io_uring_cqe* cqe = nullptr;
    io_uring_for_each_cqe(&ring_, head, cqe) {
      ++seen;
      const auto tag = io_uring_cqe_get_data64(cqe);
      const std::size_t slot = static_cast<std::size_t>(tag >> 3);
      if (complete(slot, static_cast<Step>(tag & 7), cqe->res)) {
        slots_[slot].busy = false;
        freeSlots_.push_back(slot);
        --busy;
      }
    }
    io_uring_cq_advance(&ring_, seen);
  }
  return count;
}

io_uring_sqe* RingBatchIo::nextSqe(std::size_t slot, Step step) {
  // Each slot has at most one operation waiting, and the ring has room for
  // one per slot, so a free entry is always there.
  io_uring_sqe* sqe = io_uring_get_sqe(&ring_);
  io_uring_sqe_set_data64(sqe, tagOf(slot, step));
  slots_[slot].pending = step;
  slots_[slot].sequence = prepared_++;
  return sqe;
}

bool RingBatchIo::neverTaken(std::size_t slot) {
  // The operations the kernel has not taken are the last ones prepared.
  return slots_[slot].sequence + io_uring_sq_ready(&ring_) >= prepared_;
}

void RingBatchIo::finishHeadByPlainCalls(std::size_t slot, const HeadRequest& request,
                                         HeadSink& sink) {
  Slot& state = slots_[slot];
  plainBuffer_.resize(chunk_);
  switch (state.pending) {
    case Step::Open:
      // An open the kernel took but never reported may leave a descriptor
      // behind; opening again is all that can be done for the request.
      state.fd = openForReading(request.directoryFd, request.name, noAccessTime_);
      state.file = state.fd < 0 ? std::nullopt : openedHead(state.fd, request, extendedStatus_);
      [[fallthrough]];
    case Step::Read:
      // The bytes from the offset on were never handed over.
      if (state.file && state.remaining > 0) {
        readRest(state.fd, state.offset, state.remaining, plainBuffer_, state.index, sink);
      }
      if (state.fd >= 0) closeFd(state.fd);
      break;
    case Step::Close:
    case Step::LookUp:
      // A close the kernel took is done or under way: closing again could
      // close a descriptor opened since.
      if (state.closing >= 0 && neverTaken(slot)) closeFd(state.closing);
      break;
  }
  state.fd = -1;
  state.busy = false;
  sink.done(state.index, state.file);
}

void RingBatchIo::lookUp(std::span<const EntryRequest> requests, MetadataSink& sink) {
  // The ring's statx always goes through a kernel worker thread: slower than
  // a plain call while the metadata is in memory, much faster once it must
  // come from the device, as many lookups wait at once. So plain calls go
  // first, and the ring takes over for the rest of the run once a fair share
  // of them has plainly waited for the device. Either way gives the same
  // results; only the time differs.
  // One reading of the clock per lookup: each one's end is the next one's
  // start.
  std::size_t first = 0;
  auto start = std::chrono::steady_clock::now();
  for (; first < requests.size() && !ringLookUps_; ++first) {
    std::optional<EntryMetadata> metadata =
        lookUpEntry(requests[first].directoryFd, requests[first].name, extendedStatus_);
    ++plainLookUps_;
    const auto end = std::chrono::steady_clock::now();
    if (end - std::exchange(start, end) > kSlowLookUp) {
      ++slowLookUps_;
      ringLookUps_ =
          slowLookUps_ >= kSlowLookUpsBeforeRing && slowLookUps_ * kSlowShare >= plainLookUps_;
    }
    sink.entry(first, metadata);
  }
  if (plain_) {
    ShiftedSink rest(first, &sink, nullptr);
    return plain_->lookUp(requests.subspan(first), rest);
  }
  const std::size_t notStarted = run(
      first, requests.size(),
      [&](std::size_t slot, std::size_t index) {
        io_uring_prep_statx(nextSqe(slot, Step::LookUp), requests[index].directoryFd,
                            requests[index].name, kLookUpFlags, kLookUpMask, &slots_[slot].info);
      },
      [&](std::size_t slot, Step, int result) {
        const std::size_t index = slots_[slot].index;
        const EntryRequest& request = requests[index];
        sink.entry(index, result == 0
                              ? metadataOf(slots_[slot].info)
                              : lookUpEntry(request.directoryFd, request.name, extendedStatus_));
        return true;
      });
  if (!plain_) return;
  for (Slot& slot : slots_) {
    if (!slot.busy) continue;
    slot.busy = false;
    const EntryRequest& request = requests[slot.index];
    sink.entry(slot.index, lookUpEntry(request.directoryFd, request.name, extendedStatus_));
  }
  ShiftedSink rest(notStarted, &sink, nullptr);
  plain_->lookUp(requests.subspan(notStarted), rest);
}

void RingBatchIo::readHeads(std::span<const HeadRequest> requests, HeadSink& sink) {
  if (plain_) return plain_->readHeads(requests, sink);
  std::uint64_t longest = 0;
  for (const HeadRequest& request : requests) longest = std::max(longest, request.length);
  ensureBuffers(chunkFor(longest));
  const std::size_t notStarted = run(
      0, requests.size(),
      [&](std::size_t slot, std::size_t index) { startHead(slot, requests[index]); },
      [&](std::size_t slot, Step step, int result) {
        const HeadRequest& request = requests[slots_[slot].index];
        headStepDone(slot, step, result, request, sink);
        if (step != Step::Close) return false;
        sink.done(slots_[slot].index, slots_[slot].file);
        return true;
      });
  if (!plain_) return;
  for (std::size_t slot = 0; slot < slots_.size(); ++slot) {
    if (slots_[slot].busy) finishHeadByPlainCalls(slot, requests[slots_[slot].index], sink);
  }
  ShiftedSink rest(notStarted, nullptr, &sink);
  plain_->readHeads(requests.subspan(notStarted), rest);
}

void RingBatchIo::startHead(std::size_t slot, const HeadRequest& request) {
  Slot& state = slots_[slot];
  state.fd = -1;
  state.closing = -1;
  state.noAccessTime = noAccessTime_;
  state.offset = 0;
  state.remaining = request.length;
  state.file.reset();
  submitOpen(slot, request);
}

void RingBatchIo::submitOpen(std::size_t slot, const HeadRequest& request) {
  io_uring_prep_openat(nextSqe(slot, Step::Open), request.directoryFd, request.name,
                       readFlags(slots_[slot].noAccessTime), 0);
}

void RingBatchIo::headStepDone(std::size_t slot, Step step, int result, const HeadRequest& request,
                               HeadSink& sink) {
  switch (step) {
    case Step::Open: openDone(slot, result, request); return;
    case Step::Read: readDone(slot, result, sink); return;
    case Step::Close:
    case Step::LookUp: return;
  }
}

void RingBatchIo::openDone(std::size_t slot, int result, const HeadRequest& request) {
  Slot& state = slots_[slot];
  if (result < 0 && refusedNoAccessTime(-result, state.noAccessTime)) {
    // Open the ordinary way, and from now on at once, so that files of
    // other owners are not opened twice each.
    noAccessTime_ = false;
    submitOpen(slot, request);
    return;
  }
  state.fd =
      result >= 0 ? result : openForReading(request.directoryFd, request.name, noAccessTime_);
  if (state.fd < 0) {
    // Nothing to close: go straight to the end through a no-op.
    io_uring_prep_nop(nextSqe(slot, Step::Close));
    return;
  }
  state.file = openedHead(state.fd, request, extendedStatus_);
  if (state.file && state.remaining > 0) {
    readNext(slot);
  } else {
    closeSlot(slot);
  }
}

void RingBatchIo::readDone(std::size_t slot, int result, HeadSink& sink) {
  Slot& state = slots_[slot];
  if (result < 0) {
    // EAGAIN where the file system cannot read without waiting, or a
    // failure: the plain call reads what is left, or fails alike.
    readRest(state.fd, state.offset, state.remaining, bufferOf(slot), state.index, sink);
    closeSlot(slot);
    return;
  }
  const auto count = static_cast<std::size_t>(result);
  if (count > 0) {
    sink.bytes(state.index, bufferOf(slot).first(count));
    state.offset += count;
    state.remaining -= count;
  }
  if (state.remaining > 0 && count == state.asked) {
    readNext(slot);
  } else {
    closeSlot(slot);
  }
}

void RingBatchIo::readNext(std::size_t slot) {
  Slot& state = slots_[slot];
  state.asked = state.remaining < chunk_ ? static_cast<std::size_t>(state.remaining) : chunk_;
  unsigned char* buffer = bufferOf(slot).data();
  io_uring_sqe* sqe = nextSqe(slot, Step::Read);
  if (registered_) {
    io_uring_prep_read_fixed(sqe, state.fd, buffer, static_cast<unsigned>(state.asked),
                             state.offset, 0);
  } else {
    io_uring_prep_read(sqe, state.fd, buffer, static_cast<unsigned>(state.asked), state.offset);
  }
}

void RingBatchIo::closeSlot(std::size_t slot) {
  io_uring_prep_close(nextSqe(slot, Step::Close), slots_[slot].fd);
  slots_[slot].closing = slots_[slot].fd;
  slots_[slot].fd = -1;
}

void RingBatchIo::ensureBuffers(std::size_t chunk) {
  if (chunk <= chunk_) return;
  if (registered_) {
    io_uring_unregister_buffers(&ring_);
    registered_ = false;
  }
  chunk_ = chunk;
  buffers_.assign(chunk_ * slots_.size(), 0);
  if (useRegistered_) {
    const iovec whole{buffers_.data(), buffers_.size()};
    // Registering pins the memory; where the locked-memory limit refuses it,
    // plain reads do the same work.
    registered_ = io_uring_register_buffers(&ring_, &whole, 1) == 0;
    useRegistered_ = registered_;
  }
}

}  // namespace

std::unique_ptr<BatchIo> openRingBatchIo(const BatchSettings& settings) {
  BatchSettings checked = settings;
  if (checked.depth == 0) checked.depth = 1;
  auto engine = std::make_unique<RingBatchIo>(checked);
  if (!engine->usable()) return nullptr;
  return engine;
}

}  // namespace dupsieve::linux_io
