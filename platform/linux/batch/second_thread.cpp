#include "platform/linux/batch/second_thread.h"

#include <utility>

namespace dupsieve::linux_io {

SecondThread::SecondThread(BatchMode mode, const BatchSettings& settings,
                           const SystemCalls& calls)
    : mode_(mode), settings_(settings), calls_(calls), thread_([this] { run(); }) {}

SecondThread::~SecondThread() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void SecondThread::start(Work work) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    work_ = std::move(work);
    pending_ = true;
  }
  changed_.notify_all();
}

void SecondThread::finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !pending_; });
}

void SecondThread::run() {
  std::unique_ptr<BatchIo> engine;
  if (mode_ == BatchMode::Ring) engine = openRingBatchIo(settings_);
  if (!engine) engine = openPlainBatchIo(settings_);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return pending_ || stopping_; });
    if (stopping_) return;
    Work work = std::move(work_);
    lock.unlock();
    work(*engine, calls_);
    lock.lock();
    pending_ = false;
    changed_.notify_all();
  }
}

SecondThread* SecondThreadSlot::get() {
  if (!thread_) {
    if (std::thread::hardware_concurrency() < 2) return nullptr;
    thread_ = std::make_unique<SecondThread>(mode_, settings_, *calls_);
  }
  return thread_.get();
}

}  // namespace dupsieve::linux_io
