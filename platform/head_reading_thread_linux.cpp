#include "platform/head_reading_thread_linux.h"

#include "platform/anchored_heads_linux.h"

namespace dupsieve::linux_io {

HeadReadingThread::HeadReadingThread(batch::BatchMode mode, const batch::BatchSettings& settings,
                                     const SystemCalls& calls)
    : mode_(mode), settings_(settings), calls_(calls), thread_([this] { run(); }) {}

HeadReadingThread::~HeadReadingThread() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void HeadReadingThread::start(std::span<HeadRead> reads) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    work_ = reads;
    pending_ = true;
  }
  changed_.notify_all();
}

void HeadReadingThread::finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !pending_; });
}

void HeadReadingThread::run() {
  std::unique_ptr<batch::BatchIo> engine;
  if (mode_ == batch::BatchMode::Ring) engine = batch::openRingBatchIo(settings_);
  if (!engine) engine = batch::openPlainBatchIo(settings_);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return pending_ || stopping_; });
    if (stopping_) return;
    const std::span<HeadRead> reads = work_;
    lock.unlock();
    readAnchoredHeads(reads, *engine, calls_);
    lock.lock();
    pending_ = false;
    changed_.notify_all();
  }
}

}  // namespace dupsieve::linux_io
