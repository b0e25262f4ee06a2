// The engine for where io_uring cannot be used: every step is one plain
// system call, one request after the other.
//
// While the heads are in memory that is all. Once reads have had to wait for
// the device, the engine opens the next files of the batch ahead of time and
// asks the system to start fetching their heads, so that many fetches are
// under way at once instead of one.

#include <fcntl.h>
#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <vector>

#include "platform/linux/batch/plain_steps.h"

namespace dupsieve::linux_io {
namespace {

// Files opened ahead while prefetching, within the engine's depth.
constexpr std::size_t kReadAhead = 32;
// Reads that had to wait before prefetching starts; a handful keeps a warm
// run from paying for it because of a stray page.
constexpr int kWaitsBeforePrefetching = 8;
// A read that is refused without waiting may still find its page in memory
// (the kernel refuses when the page is marked to start read-ahead, too), and
// on a busy machine any read can be slow because another process had the
// processor. So a read counts as having waited for the device only when
// reading it took this long, and prefetching starts only once such reads
// are at least one in kWaitShare of all.
constexpr auto kWaitedRead = std::chrono::microseconds(50);
constexpr std::uint64_t kWaitShare = 64;

class PlainBatchIo final : public BatchIo {
 public:
  explicit PlainBatchIo(const BatchSettings& settings)
      : readAhead_(std::min<std::size_t>(kReadAhead, settings.depth)),
        asIfCold_(settings.startAsIfCold),
        askWithoutWaiting_(settings.readWithoutWaiting),
        extendedStatus_(settings.extendedStatus) {}
  PlainBatchIo(const PlainBatchIo&) = delete;
  PlainBatchIo& operator=(const PlainBatchIo&) = delete;
  ~PlainBatchIo() override { closeOpenedAhead(); }

  void lookUp(std::span<const EntryRequest> requests, MetadataSink& sink) override {
    for (std::size_t i = 0; i < requests.size(); ++i) {
      sink.entry(i, lookUpEntry(requests[i].directoryFd, requests[i].name, extendedStatus_));
    }
  }

  void readHeads(std::span<const HeadRequest> requests, HeadSink& sink) override {
    for (std::size_t i = 0; i < requests.size(); ++i) {
      if (prefetching()) openAhead(requests, i);
      const HeadRequest& request = requests[i];
      const int fd = takeOpenedAhead(i, request);
      if (fd < 0) {
        sink.done(i, std::nullopt);
        continue;
      }
      const std::optional<EntryMetadata> file = openedHead(fd, request, extendedStatus_);
      if (file && request.length > 0) readHead(fd, request.length, i, sink);
      closeFd(fd);
      sink.done(i, file);
    }
    closeOpenedAhead();
  }

  BatchMode mode() const override { return BatchMode::PlainCalls; }

 private:
  struct OpenedAhead {
    std::size_t index;
    int fd;
  };

  bool prefetching() const {
    return asIfCold_ || (waits_ >= kWaitsBeforePrefetching &&
                         static_cast<std::uint64_t>(waits_) * kWaitShare >= heads_);
  }

  // Asks for the first chunk without waiting, which costs nothing when it is
  // in memory and tells when it may not be; then reads on the ordinary way.
  void readHead(int fd, std::uint64_t length, std::size_t index, HeadSink& sink) {
    ++heads_;
    const std::span<unsigned char> buffer = bufferFor(length);
    const std::size_t want = std::min<std::uint64_t>(length, buffer.size());
    if (askWithoutWaiting_) {
      iovec chunk{buffer.data(), want};
      const ssize_t got = ::preadv2(fd, &chunk, 1, 0, RWF_NOWAIT);
      if (got >= 0) {
        const auto count = static_cast<std::size_t>(got);
        if (count > 0) sink.bytes(index, buffer.first(count));
        if (count == want) readRest(fd, count, length - count, buffer, index, sink);
        // Fewer bytes than asked: the end of the file, or only the part of
        // the chunk that is in memory. An ordinary read tells which.
        if (count > 0 && count < want) readWaiting(fd, count, length - count, buffer, index, sink);
        return;
      }
      if (errno == EAGAIN) return readWaiting(fd, 0, length, buffer, index, sink);
      if (isRefusal(errno)) askWithoutWaiting_ = false;  // never ask again this run
    }
    readRest(fd, 0, length, buffer, index, sink);
  }

  // Reads what a read without waiting could not, and counts it when that
  // plainly waited for the device.
  void readWaiting(int fd, std::uint64_t offset, std::uint64_t remaining,
                   std::span<unsigned char> buffer, std::size_t index, HeadSink& sink) {
    const auto start = std::chrono::steady_clock::now();
    readRest(fd, offset, remaining, buffer, index, sink);
    if (std::chrono::steady_clock::now() - start > kWaitedRead) ++waits_;
  }

  // Keeps the files after `current` opened ahead, their fetch started.
  void openAhead(std::span<const HeadRequest> requests, std::size_t current) {
    std::size_t next = openedAhead_.empty() ? current + 1 : openedAhead_.back().index + 1;
    for (; next < requests.size() && next <= current + readAhead_; ++next) {
      const HeadRequest& request = requests[next];
      if (request.length == 0) continue;
      const int fd = openForReading(request.directoryFd, request.name, noAccessTime_);
      if (fd < 0) continue;
      // Starts the fetch and returns at once. On a FIFO or device it is
      // refused or does nothing; the type is checked before any read.
      ::posix_fadvise(fd, 0, static_cast<off_t>(std::min<std::uint64_t>(request.length, 1 << 20)),
                      POSIX_FADV_WILLNEED);
      openedAhead_.push_back({next, fd});
    }
  }

  int takeOpenedAhead(std::size_t index, const HeadRequest& request) {
    while (!openedAhead_.empty() && openedAhead_.front().index < index) {
      closeFd(openedAhead_.front().fd);
      openedAhead_.pop_front();
    }
    if (!openedAhead_.empty() && openedAhead_.front().index == index) {
      const int fd = openedAhead_.front().fd;
      openedAhead_.pop_front();
      return fd;
    }
    return openForReading(request.directoryFd, request.name, noAccessTime_);
  }

  void closeOpenedAhead() {
    for (const OpenedAhead& ahead : openedAhead_) closeFd(ahead.fd);
    openedAhead_.clear();
  }

  // One buffer for the whole run, grown to the largest chunk asked for.
  std::span<unsigned char> bufferFor(std::uint64_t length) {
    const std::size_t chunk = chunkFor(length);
    if (buffer_.size() < chunk) buffer_.resize(chunk);
    return std::span<unsigned char>(buffer_).first(chunk);
  }

  std::vector<unsigned char> buffer_;
  std::deque<OpenedAhead> openedAhead_;
  std::size_t readAhead_;
  bool asIfCold_;
  int waits_ = 0;
  std::uint64_t heads_ = 0;
  bool askWithoutWaiting_;
  bool extendedStatus_;
  bool noAccessTime_ = true;  // until the first file of another owner refuses it
};

}  // namespace

std::unique_ptr<BatchIo> openPlainBatchIo(const BatchSettings& settings) {
  return std::make_unique<PlainBatchIo>(settings);
}

}  // namespace dupsieve::linux_io
