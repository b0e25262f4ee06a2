// Times the batched I/O engine on a real tree: the leading bytes of every
// regular file, or the metadata of every entry, in each way the engine can
// go. Prints one line per timed run and the median, plus a checksum of what
// was read so that the ways can be seen to agree. Not installed; a tool for
// choosing settings.
//
// Two "raw" ways are measurements only: chains of open -> read -> close with
// no check of the file's type in between, on plain and on direct
// descriptors, to show what the check costs and what direct descriptors
// would gain. They are not safe on trees that hold FIFOs or devices.

#include <dirent.h>
#include <fcntl.h>
#include <liburing.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/linux/batch/batch_io.h"

namespace {

using dupsieve::linux_io::BatchChoice;
using dupsieve::linux_io::BatchIo;
using dupsieve::linux_io::EntryMetadata;
using dupsieve::linux_io::EntryRequest;
using dupsieve::linux_io::HeadRequest;

struct Options {
  std::string tree;
  std::string way = "ring";    // plain, ring, raw-plain-fd, raw-direct
  std::string what = "heads";  // heads, metadata, both
  unsigned depth = 64;
  unsigned threads = 1;
  bool cold = false;
  bool registered = false;
  bool asIfCold = false;
  std::uint64_t bytes = 512;
  std::size_t batch = 0;  // requests per call; 0 means all at once
  int runs = 5;
};

// Every directory stays open for the whole probe, so that only the engine's
// own work is timed (a run opens each directory once per round of reads).
struct Tree {
  std::vector<int> directories;
  std::deque<std::string> names;  // stable addresses
  std::vector<HeadRequest> files;
  std::vector<EntryRequest> entries;
};

void walk(int directory, Tree& tree) {
  const int listingFd = ::dup(directory);
  DIR* listing = ::fdopendir(listingFd);
  if (listing == nullptr) {
    ::close(listingFd);
    return;
  }
  std::vector<std::string> subdirectories;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    tree.names.push_back(name);
    const char* stored = tree.names.back().c_str();
    tree.entries.push_back({directory, stored});
    unsigned char type = entry->d_type;
    if (type == DT_UNKNOWN) {
      struct stat info {};
      if (::fstatat(directory, stored, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
      type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISREG(info.st_mode) ? DT_REG : DT_UNKNOWN;
    }
    if (type == DT_REG) tree.files.push_back({directory, stored, 0});
    if (type == DT_DIR) subdirectories.push_back(name);
  }
  ::closedir(listing);
  for (const std::string& name : subdirectories) {
    const int fd =
        ::openat(directory, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    tree.directories.push_back(fd);
    walk(fd, tree);
  }
}

// Sums what was read in a way that does not depend on the order the results
// came in, so that each way's result can be compared.
struct Tally final : dupsieve::linux_io::HeadSink, dupsieve::linux_io::MetadataSink {
  explicit Tally(std::size_t count) : offsets(count) {}
  std::vector<std::uint64_t> offsets;  // bytes of each request so far
  std::size_t base = 0;                // index of the batch's first request
  std::uint64_t files = 0;
  std::uint64_t bytesRead = 0;
  std::uint64_t checksum = 0;
  void bytes(std::size_t index, std::span<const unsigned char> chunk) override {
    index += base;
    bytesRead += chunk.size();
    for (unsigned char byte : chunk) {
      checksum += (byte + 1u) * (index * 2654435761u + offsets[index]++ + 1);
    }
  }
  void done(std::size_t, const std::optional<EntryMetadata>& file) override {
    if (file) ++files;
  }
  void entry(std::size_t index, const std::optional<EntryMetadata>& metadata) override {
    if (!metadata) return;
    index += base;
    ++files;
    checksum += (metadata->inode ^ metadata->size) * (index + 1);
  }
};

// Unchecked chains, for measurement only (see the top of the file).
void rawHeads(std::span<const HeadRequest> files, const Options& options, Tally& tally) {
  const bool direct = options.way == "raw-direct";
  const unsigned depth = options.depth;
  io_uring ring{};
  io_uring_params params{};
  params.flags = IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_DEFER_TASKRUN;
  if (io_uring_queue_init_params(depth * 3, &ring, &params) != 0) {
    std::fprintf(stderr, "head_probe: no ring\n");
    std::exit(1);
  }
  if (direct && io_uring_register_files_sparse(&ring, depth) != 0) {
    std::fprintf(stderr, "head_probe: no direct descriptors\n");
    std::exit(1);
  }
  const std::size_t chunk = 4096;
  std::vector<unsigned char> buffers(chunk * depth);
  const iovec whole{buffers.data(), buffers.size()};
  const bool fixedBuffers = options.registered && io_uring_register_buffers(&ring, &whole, 1) == 0;
  std::vector<std::size_t> slotFile(depth);
  std::vector<std::size_t> free;
  for (unsigned slot = 0; slot < depth; ++slot) free.push_back(slot);
  const int flags = O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC | O_NOATIME;
  auto prepRead = [&](io_uring_sqe* sqe, int fd, std::size_t slot, unsigned length) {
    unsigned char* buffer = buffers.data() + slot * chunk;
    if (fixedBuffers) {
      io_uring_prep_read_fixed(sqe, fd, buffer, length, 0, 0);
    } else {
      io_uring_prep_read(sqe, fd, buffer, length, 0);
    }
  };
  // Tags: slot * 4 + step; step 0 open, 1 read, 2 close.
  std::size_t next = 0;
  std::size_t busy = 0;
  while (next < files.size() || busy > 0) {
    while (next < files.size() && !free.empty()) {
      const std::size_t slot = free.back();
      free.pop_back();
      slotFile[slot] = next;
      const HeadRequest& file = files[next++];
      const auto length = static_cast<unsigned>(std::min<std::uint64_t>(file.length, chunk));
      ++busy;
      io_uring_sqe* sqe = io_uring_get_sqe(&ring);
      if (!direct) {
        io_uring_prep_openat(sqe, file.directoryFd, file.name, flags, 0);
        io_uring_sqe_set_data64(sqe, slot * 4);
        continue;
      }
      // A direct descriptor is never inherited: O_CLOEXEC is refused there.
      io_uring_prep_openat_direct(sqe, file.directoryFd, file.name, flags & ~O_CLOEXEC, 0,
                                  static_cast<unsigned>(slot));
      io_uring_sqe_set_data64(sqe, slot * 4);
      sqe->flags |= IOSQE_IO_LINK;
      sqe = io_uring_get_sqe(&ring);
      prepRead(sqe, static_cast<int>(slot), slot, length);
      sqe->flags |= IOSQE_FIXED_FILE | IOSQE_IO_HARDLINK;
      io_uring_sqe_set_data64(sqe, slot * 4 + 1);
      sqe = io_uring_get_sqe(&ring);
      io_uring_prep_close_direct(sqe, static_cast<unsigned>(slot));
      io_uring_sqe_set_data64(sqe, slot * 4 + 2);
    }
    io_uring_submit_and_wait(&ring, 1);
    unsigned head = 0;
    unsigned seen = 0;
    io_uring_cqe* cqe = nullptr;
    io_uring_for_each_cqe(&ring, head, cqe) {
      ++seen;
      const std::uint64_t tag = io_uring_cqe_get_data64(cqe);
      const std::size_t slot = tag / 4;
      const std::size_t index = slotFile[slot];
      switch (tag % 4) {
        case 0:
          if (!direct) {
            if (cqe->res < 0) {
              free.push_back(slot);
              --busy;
              break;
            }
            const auto length =
                static_cast<unsigned>(std::min<std::uint64_t>(files[index].length, chunk));
            io_uring_sqe* sqe = io_uring_get_sqe(&ring);
            prepRead(sqe, cqe->res, slot, length);
            sqe->flags |= IOSQE_IO_HARDLINK;
            io_uring_sqe_set_data64(sqe, slot * 4 + 1);
            sqe = io_uring_get_sqe(&ring);
            io_uring_prep_close(sqe, cqe->res);
            io_uring_sqe_set_data64(sqe, slot * 4 + 2);
          }
          break;
        case 1:
          if (cqe->res > 0) {
            tally.bytes(index, std::span<const unsigned char>(buffers.data() + slot * chunk,
                                                              static_cast<std::size_t>(cqe->res)));
          }
          break;
        case 2:
          ++tally.files;
          free.push_back(slot);
          --busy;
          break;
      }
    }
    io_uring_cq_advance(&ring, seen);
  }
  io_uring_queue_exit(&ring);
}

double cpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::unique_ptr<BatchIo> openEngine(const Options& options) {
  dupsieve::linux_io::BatchSettings settings;
  settings.depth = options.depth;
  settings.registeredBuffers = options.registered;
  settings.startAsIfCold = options.asIfCold;
  if (options.way == "plain") return dupsieve::linux_io::openPlainBatchIo(settings);
  if (options.way == "auto") {
    // What a run would get: the ring, or plain calls where it is refused.
    std::unique_ptr<BatchIo> io = dupsieve::linux_io::openBatchIo(BatchChoice::Automatic, settings);
    std::printf("automatic choice: %s\n",
                io->mode() == dupsieve::linux_io::BatchMode::Ring ? "ring" : "plain calls");
    return io;
  }
  std::unique_ptr<BatchIo> io = dupsieve::linux_io::openRingBatchIo(settings);
  if (!io) {
    std::fprintf(stderr, "head_probe: io_uring cannot be used here\n");
    std::exit(1);
  }
  return io;
}

// One thread's share: the same slice of the entries and of the files.
void runShare(const Options& options, BatchIo& io, const Tree& tree, unsigned share, Tally& tally) {
  auto slice = [&](auto all) {
    const std::size_t begin = all.size() * share / options.threads;
    const std::size_t end = all.size() * (share + 1) / options.threads;
    return std::pair{all.subspan(begin, end - begin), begin};
  };
  auto inBatches = [&](auto part, std::size_t base, auto call) {
    const std::size_t step =
        options.batch == 0 ? std::max<std::size_t>(part.size(), 1) : options.batch;
    for (std::size_t at = 0; at < part.size(); at += step) {
      tally.base = base + at;
      call(part.subspan(at, std::min(step, part.size() - at)));
    }
  };
  if (options.what != "heads") {
    const auto [part, base] = slice(std::span<const EntryRequest>(tree.entries));
    inBatches(part, base, [&](auto batch) { io.lookUp(batch, tally); });
  }
  if (options.what != "metadata") {
    const auto [part, base] = slice(std::span<const HeadRequest>(tree.files));
    inBatches(part, base, [&](auto batch) { io.readHeads(batch, tally); });
  }
}

// Wall seconds of one pass over the tree. With several threads each opens
// its own engine: a ring takes submissions from the thread that made it.
double runOnce(const Tree& tree, const Options& options, BatchIo* io, Tally& tally) {
  const auto start = std::chrono::steady_clock::now();
  if (options.way.starts_with("raw-")) {
    rawHeads(tree.files, options, tally);
  } else if (options.threads == 1) {
    runShare(options, *io, tree, 0, tally);
  } else {
    std::vector<Tally> tallies(options.threads, Tally(0));
    std::vector<std::thread> threads;
    for (unsigned share = 0; share < options.threads; ++share) {
      threads.emplace_back([&, share] {
        tallies[share].offsets.resize(tally.offsets.size());
        std::unique_ptr<BatchIo> own = openEngine(options);
        runShare(options, *own, tree, share, tallies[share]);
      });
    }
    for (std::thread& thread : threads) thread.join();
    for (const Tally& part : tallies) {
      tally.files += part.files;
      tally.bytesRead += part.bytesRead;
      tally.checksum += part.checksum;
    }
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void dropCaches() {
  ::sync();
  const int fd = ::open("/proc/sys/vm/drop_caches", O_WRONLY);
  if (fd < 0 || ::write(fd, "3\n", 2) != 2) {
    std::fprintf(stderr, "head_probe: cannot drop the page cache (needs root)\n");
    std::exit(1);
  }
  ::close(fd);
}

[[noreturn]] void usage() {
  std::fprintf(
      stderr,
      "usage: head_probe [--way auto|plain|ring|raw-plain-fd|raw-direct] [--what heads|metadata|both]\n"
      "                  [--depth N] [--registered] [--bytes N] [--batch N] [--threads N]\n"
      "                  [--as-if-cold] [--cold] [--runs K] TREE\n"
      "Reads the first --bytes (512) of every regular file under TREE (or looks at\n"
      "every entry with --what metadata, or both, entries first) through the batched\n"
      "I/O engine: one untimed round, then K timed ones; prints each time and the\n"
      "median. --cold drops the page cache before each round (root only).\n"
      "--way raw-plain-fd and raw-direct skip the check of the file's type: measurement\n"
      "only, not for trees that hold FIFOs or devices.\n"
      "--as-if-cold makes the engine behave from the start as once reads have waited\n"
      "for the device (lookups through the ring, heads fetched ahead by plain calls).\n");
  std::exit(2);
}

Options parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) usage();
      return argv[++i];
    };
    if (arg == "--way") {
      options.way = value();
    } else if (arg == "--what") {
      options.what = value();
    } else if (arg == "--depth") {
      options.depth = static_cast<unsigned>(std::stoul(value()));
    } else if (arg == "--threads") {
      options.threads = static_cast<unsigned>(std::stoul(value()));
    } else if (arg == "--cold") {
      options.cold = true;
    } else if (arg == "--as-if-cold") {
      options.asIfCold = true;
    } else if (arg == "--registered") {
      options.registered = true;
    } else if (arg == "--bytes") {
      options.bytes = std::stoull(value());
    } else if (arg == "--batch") {
      options.batch = std::stoul(value());
    } else if (arg == "--runs") {
      options.runs = std::stoi(value());
    } else if (!arg.starts_with("-") && options.tree.empty()) {
      options.tree = arg;
    } else {
      usage();
    }
  }
  const bool knownWay = options.way == "auto" || options.way == "plain" || options.way == "ring" ||
                        options.way == "raw-plain-fd" || options.way == "raw-direct";
  if (options.tree.empty() || !knownWay || options.depth == 0 || options.runs < 1 ||
      options.threads == 0 ||
      (options.what != "heads" && options.what != "metadata" && options.what != "both")) {
    usage();
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = parse(argc, argv);
  // Every directory of the tree stays open, plus one descriptor per request
  // in flight.
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  Tree tree;
  const int root = ::open(options.tree.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root < 0) {
    std::perror(options.tree.c_str());
    return 1;
  }
  tree.directories.push_back(root);
  walk(root, tree);
  for (HeadRequest& file : tree.files) file.length = options.bytes;

  std::unique_ptr<BatchIo> io;
  if (!options.way.starts_with("raw-") && options.threads == 1) io = openEngine(options);
  std::printf(
      "%s%s %s%s, %u thread(s), depth %u, %s buffers, %llu bytes, batch %zu: %zu files, %zu "
      "entries\n",
      options.way.c_str(), options.asIfCold ? " (as if cold)" : "", options.what.c_str(),
      options.cold ? " cold" : "", options.threads, options.depth,
      options.registered ? "registered" : "plain", static_cast<unsigned long long>(options.bytes),
      options.batch, tree.files.size(), tree.entries.size());
  std::vector<double> times;
  std::vector<double> cpuTimes;
  for (int run = 0; run <= options.runs; ++run) {
    Tally tally(std::max(tree.files.size(), tree.entries.size()));
    if (options.cold) dropCaches();
    const double cpuBefore = cpuSeconds();
    const double seconds = runOnce(tree, options, io.get(), tally);
    const double cpu = cpuSeconds() - cpuBefore;
    std::printf("  %s %.3f s (cpu %.3f s)  %llu found, %llu bytes, checksum %016llx\n",
                run == 0 ? "warm-up" : "run    ", seconds, cpu,
                static_cast<unsigned long long>(tally.files),
                static_cast<unsigned long long>(tally.bytesRead),
                static_cast<unsigned long long>(tally.checksum));
    if (run > 0) {
      times.push_back(seconds);
      cpuTimes.push_back(cpu);
    }
  }
  std::sort(times.begin(), times.end());
  std::sort(cpuTimes.begin(), cpuTimes.end());
  std::printf("  median %.3f s (cpu %.3f s)\n", times[times.size() / 2],
              cpuTimes[cpuTimes.size() / 2]);
  for (int fd : tree.directories) ::close(fd);
  return 0;
}
