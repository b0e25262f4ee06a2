#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/file_system.h"
#include "platform/linux/batch/batch_io.h"
#include "platform/linux/system_calls.h"

namespace dupsieve::linux_io {

// A thread that reads whole batches of heads (readAnchoredHeads) while the
// thread that handed them over goes on, for heads that are known to be
// wanted before the walk that finds them is over. It has its own engine,
// of the way the run chose, and its own system calls. It is started with
// the first batch; where there is no second processor, or no thread can be
// started, each batch is read at once on the caller's thread instead.
class BackgroundHeads {
 public:
  // Each round of its reads holds at most `directoriesPerRound` directories.
  BackgroundHeads(BatchMode mode, const BatchSettings& settings, const SystemCalls& calls,
                  std::size_t directoriesPerRound)
      : mode_(mode), settings_(settings), calls_(calls), perRound_(directoriesPerRound) {}
  BackgroundHeads(const BackgroundHeads&) = delete;
  BackgroundHeads& operator=(const BackgroundHeads&) = delete;
  ~BackgroundHeads();

  // As HeadReader::startHeads: null once the thread has taken the batch;
  // the batch itself, read with `engine` and `calls`, where no thread runs;
  // the batch unread while the thread is behind.
  std::unique_ptr<OwnedHeads> start(std::unique_ptr<OwnedHeads> batch, BatchIo& engine,
                                    SystemCalls& calls);
  // Whether a batch has been handed to the thread (one is running).
  bool started() const { return thread_.joinable(); }
  // As HeadReader::collectHeads.
  std::vector<std::unique_ptr<OwnedHeads>> collect(bool wait);

 private:
  bool running();  // starts the thread on first use; false where it cannot run
  void run();

  BatchMode mode_;
  BatchSettings settings_;
  SystemCalls calls_;
  std::size_t perRound_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<OwnedHeads>> waiting_;  // taken, not yet read
  std::vector<std::unique_ptr<OwnedHeads>> read_;    // read, not yet collected
  bool reading_ = false;                             // one taken off `waiting_`
  bool stopping_ = false;
  std::exception_ptr failure_;  // what stopped the thread, met by the caller
  bool unavailable_ = false;  // no second processor, or the thread would not start
  std::thread thread_;
};

}  // namespace dupsieve::linux_io
