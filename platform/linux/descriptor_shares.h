#pragma once

#include <cstddef>
#include <cstdint>

namespace dupsieve::linux_io {

// How the process's open-file limit is shared out among what holds
// descriptors, so that no stage meets the limit by design.
struct DescriptorShares {
  std::size_t directoriesHeldOpen;  // by the listings of the walk (DescriptorBudget)
  std::size_t directoriesPerRound;  // by one thread's round of head reads
  unsigned inFlight;                // files one engine has open at once, the current one aside
};

// Under `openFileLimit`, with `openAtStart` descriptors open already.
DescriptorShares shareDescriptors(std::uint64_t openFileLimit, std::uint64_t openAtStart);
// From this process's RLIMIT_NOFILE. Also grows the process's table of
// descriptors at once to hold all that the shares allow: the kernel grows
// it as higher descriptors are opened, and once threads share it each
// growth waits for every processor to pass a quiet point, which stalled a
// run for 20 ms. Call it while the process has one thread.
DescriptorShares descriptorSharesOfThisProcess();

// An open that failed for want of a descriptor (the process's limit or the
// system's), which giving one back can mend.
bool isOutOfDescriptors(int error);

}  // namespace dupsieve::linux_io
