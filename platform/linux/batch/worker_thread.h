#pragma once

// What the threads that read beside the main one share: how they are
// started and stopped, and the engine each keeps for its life.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/linux/batch/batch_io.h"
#include "platform/linux/signals_blocked.h"

namespace dupsieve::linux_io {

// Starts `body` on `thread`, with the main thread's signals blocked in it.
// False where there is no second processor to run it or the system will
// not start a thread (a process or memory limit): the caller then does the
// work itself.
inline bool startWorker(std::thread& thread, std::function<void()> body) {
  if (std::thread::hardware_concurrency() < 2) return false;
  try {
    const SignalsBlocked blocked;
    thread = std::thread(std::move(body));
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

// Sets `stopping` under `mutex`, wakes the thread and waits for it to end.
inline void stopWorker(std::thread& thread, std::mutex& mutex, std::condition_variable& changed,
                       bool& stopping) {
  if (!thread.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
  }
  changed.notify_all();
  thread.join();
}

// An engine of the way the run chose, for a thread of its own: a ring takes
// requests only from the thread that set it up.
inline std::unique_ptr<BatchIo> openWorkerEngine(BatchMode mode, const BatchSettings& settings) {
  std::unique_ptr<BatchIo> engine;
  if (mode == BatchMode::Ring) engine = openRingBatchIo(settings);
  return engine ? std::move(engine) : openPlainBatchIo(settings);
}

}  // namespace dupsieve::linux_io
