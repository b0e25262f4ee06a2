#include "platform/batch_io_linux.h"

namespace dupsieve::batch {

std::unique_ptr<BatchIo> openBatchIo(BatchChoice choice, const BatchSettings& settings) {
  if (choice == BatchChoice::Automatic) {
    // Refused by the kernel (too old, kernel.io_uring_disabled, a seccomp
    // profile that answers ENOSYS or EPERM) means plain calls for the run.
    if (std::unique_ptr<BatchIo> ring = openRingBatchIo(settings)) return ring;
  }
  return openPlainBatchIo(settings);
}

}  // namespace dupsieve::batch
