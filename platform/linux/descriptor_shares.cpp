#include "platform/linux/descriptor_shares.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace dupsieve::linux_io {
namespace {

// Held for the whole run besides what is open when it starts (standard
// input, output and error at least, and whatever the caller left open):
// one ring for each of the three threads (the walk's, the second, and the
// one that reads heads during the walk).
constexpr std::uint64_t kRings = 3;
// Opened by the walk for a moment beyond its budget: a directory before the
// budget gives another one up, and ".." while leaving a directory.
constexpr std::uint64_t kWalkMoment = 2;
// The most worth holding: enough for every ordinary tree to be walked
// without opening a directory twice, and for the device to serve many
// reads at once.
constexpr std::uint64_t kMostDirectories = 32;
constexpr std::uint64_t kMostInFlight = 64;
// A limit too large to matter is taken as this one.
constexpr std::uint64_t kLargeLimit = 1 << 16;

// Descriptors open now among the first `limit`; past a thousand, those few
// that may be open no longer matter.
std::uint64_t openNow(std::uint64_t limit) {
  std::uint64_t open = 0;
  for (int fd = 0; static_cast<std::uint64_t>(fd) < std::min<std::uint64_t>(limit, 1024); ++fd) {
    if (::fcntl(fd, F_GETFD) != -1) ++open;
  }
  return std::max<std::uint64_t>(open, 3);
}

// Opens the descriptor `highest` for a moment, so that the table holds it
// from now on (the kernel never shrinks it), if it is free and allowed.
void growDescriptorTable(std::uint64_t highest) {
  for (int any = 0; any <= 2; ++any) {
    const int high = ::fcntl(any, F_DUPFD_CLOEXEC, static_cast<int>(highest));
    if (high >= 0) {
      ::close(high);
      return;
    }
    if (errno != EBADF) return;
  }
}

}  // namespace

DescriptorShares shareDescriptors(std::uint64_t openFileLimit, std::uint64_t openAtStart) {
  const std::uint64_t limit = std::min(openFileLimit, kLargeLimit);
  const std::uint64_t held = openAtStart + kRings;
  const std::uint64_t free = limit > held ? limit - held : 0;
  // Each of the two threads reading heads holds a round's directories, its
  // engine's files in flight and the one file it is on.
  const std::uint64_t perThread = free / 2;
  // While the walk goes on, one thread reads heads beside it; the digest
  // stage's two come after the walk; the verdict, at the prompts, comes
  // after all of them, and the deletions open one directory at a time.
  const std::uint64_t walk = free > kWalkMoment + perThread ? free - kWalkMoment - perThread : 0;
  const std::uint64_t inFlight = std::clamp<std::uint64_t>(perThread / 3, 1, kMostInFlight);
  const std::uint64_t perRound =
      perThread > inFlight + 1 ? std::min(perThread - inFlight - 1, kMostDirectories) : 1;
  return {static_cast<std::size_t>(std::clamp<std::uint64_t>(walk, 2, kMostDirectories)),
          static_cast<std::size_t>(perRound), static_cast<unsigned>(inFlight)};
}

DescriptorShares descriptorSharesOfThisProcess() {
  rlimit limit{};
  const std::uint64_t most =
      ::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY
          ? kLargeLimit
          : limit.rlim_cur;
  const std::uint64_t open = openNow(most);
  const DescriptorShares shares = shareDescriptors(most, open);
  const std::uint64_t held = open + kRings + kWalkMoment + shares.directoriesHeldOpen +
                             2 * (shares.directoriesPerRound + shares.inFlight + 1);
  growDescriptorTable(std::min(held, std::min(most, kLargeLimit) - 1));
  return shares;
}

bool isOutOfDescriptors(int error) { return error == EMFILE || error == ENFILE; }

}  // namespace dupsieve::linux_io
