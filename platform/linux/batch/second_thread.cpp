#include "platform/linux/batch/second_thread.h"

#include <memory>
#include <utility>

namespace dupsieve::linux_io {
namespace {

// The fewest requests of a batch, heads or lookups, that the second thread
// takes half of: fewer cost less than handing them over.
constexpr std::size_t kSplitFrom = 64;

}  // namespace

SecondThread::~SecondThread() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void SecondThread::split(std::size_t count, EnginePerThread& engines, SystemCalls& calls,
                         const Part& part) {
  const std::size_t half = count / 2;
  const auto secondHalf = [&part, half, count](BatchIo& engine, SystemCalls& own) {
    part(engine, own, half, count);
  };
  const bool shared = count >= kSplitFrom && start(secondHalf);
  // Waits for the second half whatever the first does, so that nothing the
  // work touches can go first.
  struct Finish {
    SecondThread* thread;
    ~Finish() {
      if (thread != nullptr) thread->finish();
    }
  } finish{shared ? this : nullptr};
  std::unique_ptr<BatchIo> opened;
  part(engines.here(opened), calls, 0, shared ? half : count);
}

bool SecondThread::start(Work work) {
  if (!thread_.joinable()) {
    if (std::thread::hardware_concurrency() < 2) return false;
    thread_ = std::thread([this] { run(); });
  }
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    work_ = std::move(work);
    pending_ = true;
  }
  changed_.notify_all();
  return true;
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

}  // namespace dupsieve::linux_io
