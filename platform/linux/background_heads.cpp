#include "platform/linux/background_heads.h"

#include <exception>
#include <utility>

#include "platform/linux/anchored_heads.h"
#include "platform/linux/batch/worker_thread.h"

namespace dupsieve::linux_io {
namespace {

// Batches taken but not yet read, at most: a batch that comes while as
// many wait is given back unread, so that a walk that lists faster than the
// heads are read neither waits nor holds ever more of them.
constexpr std::size_t kMostWaiting = 4;

}  // namespace

BackgroundHeads::~BackgroundHeads() { stopWorker(thread_, mutex_, changed_, stopping_); }

std::unique_ptr<OwnedHeads> BackgroundHeads::start(std::unique_ptr<OwnedHeads> batch,
                                                   BatchIo& engine, SystemCalls& calls) {
  if (!running()) {
    readAnchoredHeads(batch->reads, engine, calls, perRound_);
    return batch;
  }
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (failure_) std::rethrow_exception(failure_);
    if (waiting_.size() >= kMostWaiting) return batch;
    waiting_.push_back(std::move(batch));
  }
  changed_.notify_all();
  return nullptr;
}

std::vector<std::unique_ptr<OwnedHeads>> BackgroundHeads::collect(bool wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (wait) changed_.wait(lock, [this] { return (waiting_.empty() && !reading_) || failure_; });
  if (failure_) std::rethrow_exception(failure_);
  return std::exchange(read_, {});
}

bool BackgroundHeads::running() {
  if (thread_.joinable()) return true;
  if (unavailable_) return false;
  if (startWorker(thread_, [this] { run(); })) return true;
  // No thread to be had: the caller reads every batch itself.
  unavailable_ = true;
  return false;
}

void BackgroundHeads::run() {
  std::unique_lock<std::mutex> lock(mutex_, std::defer_lock);
  try {
    const std::unique_ptr<BatchIo> engine = openWorkerEngine(mode_, settings_);
    lock.lock();
    for (;;) {
      changed_.wait(lock, [this] { return !waiting_.empty() || stopping_; });
      if (stopping_) return;
      std::unique_ptr<OwnedHeads> batch = std::move(waiting_.front());
      waiting_.pop_front();
      reading_ = true;
      lock.unlock();
      changed_.notify_all();
      readAnchoredHeads(batch->reads, *engine, calls_, perRound_);
      lock.lock();
      read_.push_back(std::move(batch));
      reading_ = false;
      changed_.notify_all();
    }
  } catch (...) {
    // Memory that ran out here is the run's to report: the walk's thread
    // meets it at its next hand-over or collection.
    if (!lock.owns_lock()) lock.lock();
    failure_ = std::current_exception();
    reading_ = false;
    changed_.notify_all();
  }
}

}  // namespace dupsieve::linux_io
