#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

#include "platform/batch_io_linux.h"
#include "platform/calls_linux.h"
#include "platform/file_system.h"

namespace dupsieve::linux_io {

// A thread that reads batches of heads beside the caller, with an engine of
// its own kept for its whole life (a ring takes requests only from the
// thread that set it up, and setting one up for every batch would cost
// more than the thread saves).
class HeadReadingThread {
 public:
  HeadReadingThread(batch::BatchMode mode, const batch::BatchSettings& settings,
                    const SystemCalls& calls);
  HeadReadingThread(const HeadReadingThread&) = delete;
  HeadReadingThread& operator=(const HeadReadingThread&) = delete;
  ~HeadReadingThread();

  // Starts reading `reads` on the thread and returns at once. `finish` must
  // come before the reads are looked at or another batch is started.
  void start(std::span<HeadRead> reads);
  // Waits until the batch started last has been read.
  void finish();

 private:
  void run();

  batch::BatchMode mode_;
  batch::BatchSettings settings_;
  SystemCalls calls_;  // its own: a fallback chosen on one thread stays there
  std::mutex mutex_;
  std::condition_variable changed_;
  std::span<HeadRead> work_;
  bool pending_ = false;
  bool stopping_ = false;
  std::thread thread_;  // last: started once everything above is set up
};

}  // namespace dupsieve::linux_io
