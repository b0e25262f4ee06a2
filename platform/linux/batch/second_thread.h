#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/linux/batch/batch_io.h"
#include "platform/linux/system_calls.h"

namespace dupsieve::linux_io {

// A second thread that takes half of a large batch (lookups or heads) while
// the caller does the other half. It has an engine of its own, kept for its
// whole life: a ring takes requests only from the thread that set it up, and
// setting one up for every batch would cost more than the thread saves.
class SecondThread {
 public:
  using Work = std::function<void(BatchIo& engine, SystemCalls& calls)>;

  SecondThread(BatchMode mode, const BatchSettings& settings,
               const SystemCalls& calls);
  SecondThread(const SecondThread&) = delete;
  SecondThread& operator=(const SecondThread&) = delete;
  ~SecondThread();

  // Starts `work` on the thread and returns at once. `finish` must come
  // before what the work touches is looked at or other work is started.
  void start(Work work);
  // Waits until the work started last is done.
  void finish();

  // Waits for the work in flight when it goes, whatever the caller does
  // meanwhile, so that nothing the work touches can go first.
  class Finish {
   public:
    explicit Finish(SecondThread& thread) : thread_(&thread) {}
    Finish(const Finish&) = delete;
    Finish& operator=(const Finish&) = delete;
    ~Finish() { thread_->finish(); }

   private:
    SecondThread* thread_;
  };

 private:
  void run();

  BatchMode mode_;
  BatchSettings settings_;
  SystemCalls calls_;  // its own: a fallback chosen on one thread stays there
  std::mutex mutex_;
  std::condition_variable changed_;
  Work work_;
  bool pending_ = false;
  bool stopping_ = false;
  std::thread thread_;  // last: started once everything above is set up
};

// Where the file system's second thread is made, on first use, and kept.
class SecondThreadSlot {
 public:
  SecondThreadSlot(BatchMode mode, const BatchSettings& settings,
                   const SystemCalls& calls)
      : mode_(mode), settings_(settings), calls_(&calls) {}

  // The thread, or null where a second processor would not run it.
  SecondThread* get();

  // Does `part` for the requests [first, end) of a batch of `count`: the
  // second thread takes the second half where there is one and the batch
  // is large enough to pay for handing it over, while the caller does the
  // rest with its own engine (from `engines`) and `calls`. Returns once all
  // is done. Each request must report to a place of its own, so that the
  // results are the same whichever half finishes first.
  using Part = std::function<void(BatchIo& engine, SystemCalls& calls, std::size_t first,
                                  std::size_t end)>;
  void split(std::size_t count, EnginePerThread& engines, SystemCalls& calls, const Part& part);

 private:
  BatchMode mode_;
  BatchSettings settings_;
  const SystemCalls* calls_;  // copied by the thread when it is made
  std::unique_ptr<SecondThread> thread_;
};

}  // namespace dupsieve::linux_io
