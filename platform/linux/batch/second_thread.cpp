#include "platform/linux/batch/second_thread.h"

#include <signal.h>

#include <memory>
#include <system_error>
#include <utility>

namespace dupsieve::linux_io {
namespace {

// The fewest requests of a batch, heads or lookups, that the second thread
// takes half of: fewer cost less than handing them over.
constexpr std::size_t kSplitFrom = 64;

// Blocks in the calling thread, while it lives, the signals whose handlers
// the main thread must run (an interrupt's note is published by the main
// thread); a thread started meanwhile keeps them blocked for its life.
class SignalsBlocked {
 public:
  SignalsBlocked() {
    sigset_t blocked;
    ::sigemptyset(&blocked);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::sigaddset(&blocked, signal);
    ::pthread_sigmask(SIG_BLOCK, &blocked, &previous_);
  }
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;
  ~SignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

 private:
  sigset_t previous_;
};

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
    if (refused_ || std::thread::hardware_concurrency() < 2) return false;
    try {
      const SignalsBlocked blocked;
      thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
      // No thread to be had (a process or memory limit): the caller does
      // all the work, and no start is tried again.
      refused_ = true;
      return false;
    }
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
