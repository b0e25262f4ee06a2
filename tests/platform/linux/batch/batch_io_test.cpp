#include "platform/linux/batch/batch_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <future>
#include <new>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/batch/second_thread.h"
#include "platform/linux/system_calls.h"
#include "tests/support/binary_run.h"
#include "tests/support/temp_dir.h"

namespace dupsieve::linux_io {
namespace {

using testing::TempDir;

struct Head {
  std::string bytes;
  std::size_t largestChunk = 0;
  int doneCalls = 0;
  std::optional<EntryMetadata> file;
};

class RecordingSink : public HeadSink, public MetadataSink {
 public:
  explicit RecordingSink(std::size_t count) : heads(count), entries(count), entryCalls(count) {}
  void bytes(std::size_t index, std::span<const unsigned char> chunk) override {
    EXPECT_EQ(heads[index].doneCalls, 0) << "bytes after the end of request " << index;
    heads[index].bytes.append(reinterpret_cast<const char*>(chunk.data()), chunk.size());
    heads[index].largestChunk = std::max(heads[index].largestChunk, chunk.size());
  }
  void done(std::size_t index, const std::optional<EntryMetadata>& file) override {
    ++heads[index].doneCalls;
    heads[index].file = file;
  }
  void entry(std::size_t index, const std::optional<EntryMetadata>& metadata) override {
    ++entryCalls[index];
    entries[index] = metadata;
  }
  std::vector<Head> heads;
  std::vector<std::optional<EntryMetadata>> entries;
  std::vector<int> entryCalls;
};

std::string patternedBytes(std::size_t length, unsigned seed) {
  std::string bytes(length, '\0');
  for (std::size_t i = 0; i < length; ++i)
    bytes[i] = static_cast<char>((i * 7 + i / 251 + seed) & 0xFF);
  return bytes;
}

EntryMetadata statOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  struct statx birth {};
  ::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &birth);
  const auto ns = [](auto time) { return time.tv_sec * 1'000'000'000ull + time.tv_nsec; };
  return {S_ISREG(info.st_mode)   ? EntryKind::Regular
          : S_ISDIR(info.st_mode) ? EntryKind::Directory
          : S_ISLNK(info.st_mode) ? EntryKind::Link
                                  : EntryKind::Other,
          static_cast<std::uint64_t>(info.st_size), info.st_dev, info.st_ino,
          ns(info.st_mtim), (birth.stx_mask & STATX_BTIME) != 0 ? ns(birth.stx_btime) : 0};
}

struct Engine {
  BatchMode mode;
  BatchSettings settings;
  const char* name;
};

void PrintTo(const Engine& way, std::ostream* out) { *out << way.name; }

Engine engine(BatchMode mode, bool asIfCold, unsigned depth, bool registered, const char* name) {
  BatchSettings settings;
  settings.startAsIfCold = asIfCold;
  settings.depth = depth;
  settings.registeredBuffers = registered;
  return {mode, settings, name};
}

class BatchIoTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    const Engine& way = GetParam();
    io = way.mode == BatchMode::PlainCalls ? openPlainBatchIo(way.settings)
                                           : openRingBatchIo(way.settings);
    if (!io) {
      // A kernel that sets rings up must have them tested: skipping there
      // would hide an engine that never opens.
      ASSERT_FALSE(testing::ioUringSetUpWorks()) << "io_uring works here, but no ring engine opens";
      GTEST_SKIP() << "io_uring cannot be used here";
    }
    ASSERT_EQ(io->mode(), way.mode);
  }
  void TearDown() override {
    for (int fd : directories) ::close(fd);
  }

  // An open directory to make requests relative to; `pathOnly` opens it as
  // the walk holds its anchored directories, only to reach what is in it.
  int directory(const std::string& relative, bool pathOnly = false) {
    const int fd = ::open(tmp.makeDirectory(relative).c_str(),
                          (pathOnly ? O_PATH : O_RDONLY) | O_DIRECTORY | O_CLOEXEC);
    EXPECT_GE(fd, 0) << relative;
    directories.push_back(fd);
    return fd;
  }

  // Reads the heads under a watchdog: should a request block on a FIFO, a
  // writer comes and goes so that the call returns and the test fails
  // instead of hanging.
  RecordingSink readUnderWatchdog(const std::vector<HeadRequest>& requests,
                                  const std::string& fifo = "") {
    RecordingSink sink(requests.size());
    std::promise<void> finished;
    std::thread watchdog([&fifo, over = finished.get_future()] {
      if (over.wait_for(std::chrono::seconds(20)) == std::future_status::ready) return;
      ADD_FAILURE() << "reading the heads blocked";
      const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (writer >= 0) ::close(writer);
    });
    io->readHeads(requests, sink);
    finished.set_value();
    watchdog.join();
    for (std::size_t i = 0; i < requests.size(); ++i) EXPECT_EQ(sink.heads[i].doneCalls, 1) << i;
    return sink;
  }

  TempDir tmp;
  std::unique_ptr<BatchIo> io;
  std::vector<int> directories;
};

TEST_P(BatchIoTest, ReadsLeadingBytesOfRegularFilesInBoundedChunks) {
  const int d = directory("d");
  const std::string big = patternedBytes(300 * 1024 + 17, 1);
  tmp.write("d/big", big);
  tmp.write("d/short", "abc");
  tmp.write("d/empty", "");
  tmp.write("d/sub/nested", patternedBytes(600, 2));
  const std::vector<HeadRequest> requests = {
      {d, "big", 512},          {d, "big", big.size()}, {d, "big", 200 * 1024 + 1},
      {d, "short", 512},        {d, "empty", 512},      {d, "short", 0},
      {d, "short", 1ULL << 31}, {d, "sub/nested", 600}, {d, "big", big.size() + 4096}};
  const RecordingSink sink = readUnderWatchdog(requests);

  const std::vector<std::string> expected = {
      big.substr(0, 512),     big, big.substr(0, 200 * 1024 + 1), "abc", "", "", "abc",
      patternedBytes(600, 2), big};
  const std::vector<std::string> names = {"big",   "big",   "big",        "short", "empty",
                                          "short", "short", "sub/nested", "big"};
  for (std::size_t i = 0; i < requests.size(); ++i) {
    EXPECT_EQ(sink.heads[i].bytes, expected[i]) << "request " << i;
    EXPECT_LE(sink.heads[i].largestChunk, std::size_t{64 * 1024}) << "request " << i;
    EXPECT_EQ(sink.heads[i].file, statOf(tmp / ("d/" + names[i]))) << "request " << i;
  }
}

// Leaves only the first page of the file at `path` in memory, as a cache
// under pressure may; false where the system keeps the file whole (tmpfs).
bool onlyFirstPageInMemory(const std::string& path, std::size_t size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  char page[4096];
  unsigned char resident[2] = {};  // of the first two pages
  void* map = MAP_FAILED;
  // Dropped, then the first page read back without the system reading ahead.
  if (fd >= 0 && ::fdatasync(fd) == 0 && ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0 &&
      ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM) == 0 && ::pread(fd, page, 4096, 0) == 4096) {
    map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  }
  const bool split = map != MAP_FAILED && ::mincore(map, 8192, resident) == 0 &&
                     (resident[0] & 1) != 0 && (resident[1] & 1) == 0;
  if (map != MAP_FAILED) ::munmap(map, size);
  if (fd >= 0) ::close(fd);
  return split;
}

TEST_P(BatchIoTest, AHeadOnlyPartlyInMemoryIsReadWhole) {
  const int d = directory("d");
  const std::string bytes = patternedBytes(48 * 1024, 3);
  if (!onlyFirstPageInMemory(tmp.write("d/partly", bytes), bytes.size())) {
    GTEST_SKIP() << "this file system keeps the file in memory whatever it is told";
  }
  EXPECT_EQ(readUnderWatchdog({{d, "partly", bytes.size()}}).heads[0].bytes, bytes);
}

TEST_P(BatchIoTest, NeverReadsWhatIsNotARegularFileNorFollowsALink) {
  const int d = directory("d");
  tmp.write("d/target", "target bytes");
  ASSERT_EQ(::symlink((tmp / "d/target").c_str(), (tmp / "d/link").c_str()), 0);
  ASSERT_EQ(::mkfifo((tmp / "d/lonely fifo").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo((tmp / "d/fed fifo").c_str(), 0600), 0);
  tmp.makeDirectory("d/dir");
  // Bytes wait in this FIFO: reading them would take them from whoever owns it.
  const int fed = ::open((tmp / "d/fed fifo").c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(fed, 0);
  ASSERT_EQ(::write(fed, "secret", 6), 6);

  const std::vector<HeadRequest> requests = {{d, "lonely fifo", 512}, {d, "fed fifo", 512},
                                             {d, "link", 512},        {d, "dir", 512},
                                             {d, "gone", 512},        {d, "target", 512}};
  const RecordingSink sink = readUnderWatchdog(requests, tmp / "d/lonely fifo");
  for (std::size_t i = 0; i + 1 < requests.size(); ++i) {
    EXPECT_EQ(sink.heads[i].file, std::nullopt) << requests[i].name;
    EXPECT_EQ(sink.heads[i].bytes, "") << requests[i].name;
  }
  EXPECT_EQ(sink.heads.back().bytes, "target bytes");
  char left[16] = {};
  EXPECT_EQ(::read(fed, left, sizeof left), 6);
  ::close(fed);
}

TEST_P(BatchIoTest, ManyFilesAcrossDirectoriesEachFinishOnceWithTheirOwnBytes) {
  std::vector<std::string> names;
  std::vector<HeadRequest> requests;
  names.reserve(300);
  for (int dir = 0; dir < 5; ++dir) {
    const int fd = directory("many/" + std::to_string(dir), dir % 2 == 1);
    for (int file = 0; file < 60; ++file) {
      names.push_back(std::to_string(file));
      tmp.write("many/" + std::to_string(dir) + "/" + names.back(),
                patternedBytes(static_cast<std::size_t>(file * 37), static_cast<unsigned>(dir)));
      requests.push_back({fd, nullptr, 1000});
    }
  }
  for (std::size_t i = 0; i < requests.size(); ++i) requests[i].name = names[i].c_str();
  const RecordingSink sink = readUnderWatchdog(requests);
  for (std::size_t i = 0; i < requests.size(); ++i) {
    const auto dir = static_cast<unsigned>(i / 60);
    EXPECT_EQ(sink.heads[i].bytes, patternedBytes((i % 60) * 37, dir).substr(0, 1000)) << i;
    ASSERT_TRUE(sink.heads[i].file.has_value()) << i;
  }
}

TEST_P(BatchIoTest, LooksAtEntriesWithoutFollowingLinks) {
  const int d = directory("d", true);
  tmp.write("d/file", std::string(5000, 'x'));
  tmp.write("d/sub/inner", "12");
  ASSERT_EQ(::symlink("file", (tmp / "d/link").c_str()), 0);
  ASSERT_EQ(::mkfifo((tmp / "d/fifo").c_str(), 0600), 0);
  const std::vector<EntryRequest> requests = {
      {d, "file"}, {d, "sub"},  {d, "sub/inner"},           {d, "link"},
      {d, "fifo"}, {d, "gone"}, {d, "file/not a directory"}};
  RecordingSink sink(requests.size());
  io->lookUp(requests, sink);
  for (std::size_t i = 0; i < requests.size(); ++i) {
    EXPECT_EQ(sink.entryCalls[i], 1) << requests[i].name;
    if (i < 5) {
      EXPECT_EQ(sink.entries[i], statOf(tmp / ("d/" + std::string(requests[i].name))))
          << requests[i].name;
    }
  }
  EXPECT_EQ(sink.entries[3]->kind, EntryKind::Link);
  EXPECT_EQ(sink.entries[4]->kind, EntryKind::Other);
  EXPECT_EQ(sink.entries[5], std::nullopt);
  EXPECT_EQ(sink.entries[6], std::nullopt);
}

// Each way, also as it behaves once reads have waited for the device, where
// other code runs: the ring's lookups, the plain calls' fetching ahead.
INSTANTIATE_TEST_SUITE_P(
    BothWays, BatchIoTest,
    ::testing::Values(engine(BatchMode::PlainCalls, false, 64, true, "Plain"),
                      engine(BatchMode::PlainCalls, true, 64, true, "PlainAsIfCold"),
                      engine(BatchMode::Ring, false, 64, false, "Ring"),
                      engine(BatchMode::Ring, true, 64, true, "RingAsIfColdRegistered"),
                      engine(BatchMode::Ring, true, 1, false, "RingAsIfColdOneSlot")),
    [](const ::testing::TestParamInfo<Engine>& param) { return std::string(param.param.name); });

// A sandbox that refuses io_uring_setup, as container profiles do, in a child
// process: the automatic choice falls back to plain calls there.
TEST(BatchIoChoiceTest, FallsBackToPlainCallsWhereTheRingIsRefused) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (!testing::refuseIoUring(testing::RingRefusal::Setup)) ::_exit(3);
    const bool plain = openBatchIo()->mode() == BatchMode::PlainCalls;
    ::_exit(plain && !openRingBatchIo({}) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Has io_uring_enter refused, as a sandbox may, at the third chunk of
// bytes: requests are then in the ring, some part read.
struct RefusingSink final : RecordingSink {
  using RecordingSink::RecordingSink;
  void bytes(std::size_t index, std::span<const unsigned char> chunk) override {
    if (++calls == 3 && !testing::refuseIoUring(testing::RingRefusal::Enter)) ::_exit(3);
    RecordingSink::bytes(index, chunk);
  }
  int calls = 0;
};

// In a child process, since the refusal cannot be lifted: every head, and
// every lookup after, told once with what the plain calls give.
TEST(BatchIoChoiceTest, ARingRefusedOnceSetUpFinishesEveryRequestByPlainCalls) {
  if (!openRingBatchIo({})) GTEST_SKIP() << "io_uring cannot be used here";
  const TempDir tmp;
  std::vector<std::string> names;
  for (std::size_t i = 0; i < 24; ++i) {
    names.push_back(std::to_string(i));
    tmp.write("d/" + names.back(), patternedBytes(i * 9000, 5));
  }
  EXPECT_EXIT(
      {
        const std::unique_ptr<BatchIo> ring = openRingBatchIo({.depth = 4, .startAsIfCold = true});
        const int d = ::open((tmp / "d").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        std::vector<HeadRequest> heads;
        std::vector<EntryRequest> entries;
        for (const std::string& name : names) heads.push_back({d, name.c_str(), 1 << 20});
        for (const std::string& name : names) entries.push_back({d, name.c_str()});
        RefusingSink sink(names.size());
        ring->readHeads(heads, sink);
        ring->lookUp(entries, sink);
        bool right = ring->mode() == BatchMode::PlainCalls;
        for (std::size_t i = 0; i < names.size(); ++i) {
          right = right && sink.heads[i].doneCalls == 1 && sink.entryCalls[i] == 1 &&
                  sink.heads[i].bytes == patternedBytes(i * 9000, 5) &&
                  sink.heads[i].file == statOf(tmp / ("d/" + names[i])) &&
                  sink.entries[i] == sink.heads[i].file;
        }
        ::_exit(right ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// Opens asking to leave the access time alone are refused (EPERM, as for
// files of another owner) in the directory open as `refusing`, and answered
// ENOENT in the one open as `vanishing`; for this thread only.
bool refuseNoAccessTime(int refusing, int vanishing) {
  sock_filter rules[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 5),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
      BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, O_NOATIME, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(refusing), 3, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(vanishing), 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOENT),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
  };
  sock_fprog program{static_cast<unsigned short>(std::size(rules)), rules};
  return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// The later file is read only if the first refusal made them stop asking.
TEST(BatchIoChoiceTest, PlainCallsStopAskingToLeaveTheAccessTimeOnceRefused) {
  const TempDir tmp;
  tmp.write("theirs/f", "refused");
  tmp.write("later/g", "read");
  EXPECT_EXIT(
      {
        const int theirs = ::open((tmp / "theirs").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const int later = ::open((tmp / "later").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (!refuseNoAccessTime(theirs, later)) ::_exit(3);
        RecordingSink sink(2);
        openPlainBatchIo()->readHeads(std::vector<HeadRequest>{{theirs, "f", 64}, {later, "g", 64}},
                                      sink);
        ::_exit(sink.heads[0].bytes == "refused" && sink.heads[1].bytes == "read" ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(BatchIoChoiceTest, PlainCallsCanBeForced) {
  EXPECT_EQ(openBatchIo(BatchChoice::PlainCalls)->mode(), BatchMode::PlainCalls);
  if (openRingBatchIo({})) {
    EXPECT_EQ(openBatchIo()->mode(), BatchMode::Ring);
  }
}

TEST(SecondThreadTest, MemoryThatRunsOutOnTheSecondThreadReachesTheCallerWhoThenWorksAlone) {
  if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "one processor: no second thread";
  const BatchSettings settings;
  SystemCalls calls{PreferredCalls{}};
  EnginePerThread engines(BatchChoice::PlainCalls, settings);
  SecondThread second(engines.mode(), settings, calls);
  std::vector<int> done(128);
  bool failing = true;  // read by the second thread only while the first waits
  const auto part = [&](BatchIo&, SystemCalls&, std::size_t first, std::size_t end) {
    if (first > 0 && failing) throw std::bad_alloc();
    for (std::size_t i = first; i < end; ++i) ++done[i];
  };
  EXPECT_THROW(second.split(done.size(), engines, calls, part), std::bad_alloc);
  failing = false;
  done.assign(done.size(), 0);
  second.split(done.size(), engines, calls, part);
  EXPECT_EQ(done, std::vector<int>(done.size(), 1));
}

}  // namespace
}  // namespace dupsieve::linux_io
