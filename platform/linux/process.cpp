#include "platform/process.h"
#include "platform/run_beside.h"

#include <malloc.h>
#include <unistd.h>

#include <csignal>

#include "platform/linux/batch/worker_thread.h"

namespace dupsieve {

bool isTerminal(StandardStream stream) {
  switch (stream) {
    case StandardStream::Input: return ::isatty(STDIN_FILENO) == 1;
    case StandardStream::Output: return ::isatty(STDOUT_FILENO) == 1;
    case StandardStream::Error: return ::isatty(STDERR_FILENO) == 1;
  }
  return false;
}

void ignoreBrokenPipe() { std::signal(SIGPIPE, SIG_IGN); }

// A fixed threshold: the allocator's own moves it up to each mapped block
// freed, and then keeps blocks as large as the sort buffers once freed.
void returnLargeBlocksWhenFreed() { ::mallopt(M_MMAP_THRESHOLD, 1 << 20); }

std::vector<std::string> programArguments(int argc, char** argv) {
  if (argc < 1) return {};
  return std::vector<std::string>(argv + 1, argv + argc);
}

bool startThreadBeside(std::thread& thread, std::function<void()> body) {
  return linux_io::startWorker(thread, std::move(body));
}

}  // namespace dupsieve
