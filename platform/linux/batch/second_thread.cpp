#include "platform/linux/batch/second_thread.h"

#include <exception>
#include <memory>
#include <utility>

#include "platform/linux/batch/worker_thread.h"

namespace dupsieve::linux_io {
namespace {

// The fewest requests of a batch, heads or lookups, that the second thread
// takes half of: fewer cost less than handing them over.
constexpr std::size_t kSplitFrom = 64;

}  // namespace

SecondThread::~SecondThread() { stopWorker(thread_, mutex_, changed_, stopping_); }

void SecondThread::split(std::size_t count, EnginePerThread& engines, SystemCalls& calls,
                         const Part& part) {
  const std::size_t half = count / 2;
  const auto secondHalf = [&part, half, count](BatchIo& engine, SystemCalls& own) {
    part(engine, own, half, count);
  };
  const bool shared = count >= kSplitFrom && !lent_ && start(secondHalf);
  // Waits for the second half whatever the first does, so that nothing the
  // work touches can go first.
  struct Finish {
    SecondThread* thread;
    ~Finish() {
      if (thread != nullptr) thread->finish();
    }
  };
  {
    const Finish finish{shared ? this : nullptr};
    std::unique_ptr<BatchIo> opened;
    part(engines.here(opened), calls, 0, shared ? half : count);
  }
  if (shared) rethrowFailure();
}

bool SecondThread::start(Work work) {
  if (!thread_.joinable()) {
    if (refused_) return false;
    if (!startWorker(thread_, [this] { run(); })) {
      // No thread to be had: the caller does all the work, and no start is
      // tried again.
      refused_ = true;
      return false;
    }
  }
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (broken_) return false;
    work_ = std::move(work);
    pending_ = true;
  }
  changed_.notify_all();
  return true;
}

void SecondThread::rethrowFailure() {
  std::exception_ptr failure;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    failure = std::exchange(failure_, nullptr);
  }
  if (failure) std::rethrow_exception(failure);
}

void SecondThread::finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !pending_; });
}

void SecondThread::run() {
  std::unique_lock<std::mutex> lock(mutex_, std::defer_lock);
  try {
    const std::unique_ptr<BatchIo> engine = openWorkerEngine(mode_, settings_);
    lock.lock();
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
  } catch (...) {
    // Memory that ran out here is the run's to report, on the thread that
    // handed the work over; no more work is taken.
    if (!lock.owns_lock()) lock.lock();
    failure_ = std::current_exception();
    broken_ = true;
    pending_ = false;
    changed_.notify_all();
  }
}

}  // namespace dupsieve::linux_io
