#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/linux/batch/batch_io.h"
#include "platform/linux/system_calls.h"

namespace dupsieve::linux_io {

// A second thread that takes half of a large batch (lookups or heads) while
// the caller does the other half. It is started on the first batch that
// needs it, where a second processor would run it, and has an engine of its
// own, kept for its whole life: a ring takes requests only from the thread
// that set it up, and setting one up for every batch would cost more than
// the thread saves.
class SecondThread {
 public:
  SecondThread(BatchMode mode, const BatchSettings& settings, const SystemCalls& calls)
      : mode_(mode), settings_(settings), calls_(calls) {}
  SecondThread(const SecondThread&) = delete;
  SecondThread& operator=(const SecondThread&) = delete;
  ~SecondThread();

  // Does `part` for the requests [first, end) of a batch of `count`: this
  // thread takes the second half where the batch is large enough to pay
  // for handing it over, while the caller does the rest with its own engine
  // (from `engines`) and `calls`. Returns once all is done. Each request
  // must report to a place of its own, so that the results are the same
  // whichever half finishes first.
  using Part = std::function<void(BatchIo& engine, SystemCalls& calls, std::size_t first,
                                  std::size_t end)>;
  void split(std::size_t count, EnginePerThread& engines, SystemCalls& calls, const Part& part);
  // While lent, the processor this thread would take is busy with other
  // work of the run, and every batch is done by the caller alone.
  void lend(bool lent) { lent_ = lent; }

 private:
  using Work = std::function<void(BatchIo& engine, SystemCalls& calls)>;
  bool start(Work work);  // false where there is no second processor or no thread
  void rethrowFailure();  // what stopped the second thread's work, if anything
  void finish();          // waits until the work started last is done
  void run();

  BatchMode mode_;
  BatchSettings settings_;
  SystemCalls calls_;  // its own: a fallback chosen on one thread stays there
  std::mutex mutex_;
  std::condition_variable changed_;
  Work work_;
  bool pending_ = false;
  bool stopping_ = false;
  bool lent_ = false;
  bool refused_ = false;  // no thread to be had: no second processor, or the system refused
  bool broken_ = false;   // the thread stopped at a failure, kept in `failure_`
  std::exception_ptr failure_;
  std::thread thread_;  // started on first use
};

}  // namespace dupsieve::linux_io
