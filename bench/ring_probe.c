/* Says whether this process may set up an io_uring, the first thing the
   batched engine tries: prints "allowed", or "refused (reason)". Run under
   the same wrapper as a timed command, it tells which engine that command
   could use. */
#include <errno.h>
#include <linux/io_uring.h>
#include <stdio.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

int main(void) {
  struct io_uring_params params;
  memset(&params, 0, sizeof params);
  long fd = syscall(__NR_io_uring_setup, 4, &params);
  if (fd < 0) {
    printf("refused (%s)\n", strerror(errno));
    return 0;
  }
  close((int)fd);
  printf("allowed\n");
  return 0;
}
