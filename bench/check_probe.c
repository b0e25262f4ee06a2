/* Times the check of an opened head's type and identity two ways: a plain
   fstat on each descriptor, or a statx on the descriptor (AT_EMPTY_PATH)
   through io_uring, 64 to a submission. The files named on standard input,
   one path per line, are opened first (as many as the open-file limit
   leaves room for), outside the timing, and each way
   runs over all of them, warm, five times; the medians are printed, and
   how many of the ring's requests went to a kernel worker thread is what
   `perf stat -e io_uring:io_uring_queue_async_work` tells. A tool for
   choosing where the check goes; not installed. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <liburing.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

enum { kDepth = 64, kRounds = 5, kMostFiles = 60000 };

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static int byValue(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return (x > y) - (x < y);
}

static double plainChecks(const int* fds, int count) {
  const double start = now();
  for (int k = 0; k < count; ++k) {
    struct stat info;
    if (fstat(fds[k], &info) != 0) abort();
  }
  return now() - start;
}

static double ringChecks(struct io_uring* ring, const int* fds, int count) {
  static struct statx infos[kDepth];
  const double start = now();
  for (int first = 0; first < count; first += kDepth) {
    const int end = first + kDepth < count ? first + kDepth : count;
    for (int k = first; k < end; ++k) {
      struct io_uring_sqe* sqe = io_uring_get_sqe(ring);
      io_uring_prep_statx(sqe, fds[k], "", AT_EMPTY_PATH, STATX_BASIC_STATS, &infos[k - first]);
    }
    io_uring_submit_and_wait(ring, (unsigned)(end - first));
    for (int k = first; k < end; ++k) {
      struct io_uring_cqe* cqe;
      if (io_uring_wait_cqe(ring, &cqe) != 0 || cqe->res != 0) abort();
      io_uring_cqe_seen(ring, cqe);
    }
  }
  return now() - start;
}

int main(void) {
  static int fds[kMostFiles];
  struct rlimit limit;
  getrlimit(RLIMIT_NOFILE, &limit);
  const int most = limit.rlim_cur - 32 < kMostFiles ? (int)limit.rlim_cur - 32 : kMostFiles;
  int count = 0;
  char path[4096];
  while (count < most && fgets(path, sizeof path, stdin) != NULL) {
    path[strcspn(path, "\n")] = '\0';
    const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
    if (fd >= 0) fds[count++] = fd;
  }
  struct io_uring ring;
  if (io_uring_queue_init(kDepth, &ring, 0) != 0) {
    printf("io_uring refused\n");
    return 0;
  }
  double plain[kRounds], ring_[kRounds];
  for (int r = 0; r < kRounds; ++r) {
    plain[r] = plainChecks(fds, count);
    ring_[r] = ringChecks(&ring, fds, count);
  }
  qsort(plain, kRounds, sizeof plain[0], byValue);
  qsort(ring_, kRounds, sizeof ring_[0], byValue);
  printf("%d files: plain fstat %.1f ms, ring statx %.1f ms (medians of %d)\n", count,
         plain[kRounds / 2] * 1e3, ring_[kRounds / 2] * 1e3, kRounds);
  io_uring_queue_exit(&ring);
  return 0;
}
