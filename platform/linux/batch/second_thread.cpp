#include "platform/linux/batch/second_thread.h"

#include <optional>
#include <utility>

namespace dupsieve::linux_io {
namespace {

// The fewest requests of a batch, heads or lookups, that the second thread
// takes half of: fewer cost less than handing them over.
constexpr std::size_t kSplitFrom = 64;

}  // namespace

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

void SecondThreadSlot::split(std::size_t count, EnginePerThread& engines, SystemCalls& calls,
                             const Part& part) {
  SecondThread* second = count >= kSplitFrom ? get() : nullptr;
  const std::size_t half = second != nullptr ? count / 2 : count;
  std::optional<SecondThread::Finish> finish;  // the second half, done before returning
  if (second != nullptr) {
    second->start([&part, half, count](BatchIo& engine, SystemCalls& own) {
      part(engine, own, half, count);
    });
    finish.emplace(*second);
  }
  std::unique_ptr<BatchIo> opened;
  part(engines.here(opened), calls, 0, half);
}

}  // namespace dupsieve::linux_io
