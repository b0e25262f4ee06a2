#include "platform/linux/batch/batch_io.h"

namespace dupsieve::linux_io {

std::unique_ptr<BatchIo> openBatchIo(BatchChoice choice, const BatchSettings& settings) {
  if (choice == BatchChoice::Automatic) {
    // Refused by the kernel (too old, kernel.io_uring_disabled, a seccomp
    // profile that answers ENOSYS or EPERM) means plain calls for the run.
    if (std::unique_ptr<BatchIo> ring = openRingBatchIo(settings)) return ring;
  }
  return openPlainBatchIo(settings);
}

EnginePerThread::EnginePerThread(BatchChoice choice, const BatchSettings& settings)
    : settings_(settings),
      firstThread_(std::this_thread::get_id()),
      first_(openBatchIo(choice, settings)) {}

BatchIo& EnginePerThread::here(std::unique_ptr<BatchIo>& opened) {
  if (std::this_thread::get_id() == firstThread_) return *first_;
  // The way chosen for the run; should a ring be refused to this thread
  // alone, plain calls give the same results.
  if (first_->mode() == BatchMode::Ring) opened = openRingBatchIo(settings_);
  if (!opened) opened = openPlainBatchIo(settings_);
  return *opened;
}

}  // namespace dupsieve::linux_io
