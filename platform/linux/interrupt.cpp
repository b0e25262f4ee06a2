#include "platform/interrupt.h"

#include <signal.h>
#include <unistd.h>

#include "platform/interrupt_note.h"

namespace dupsieve {
namespace {

// Only async-signal-safe calls: write(2), sigaction(2), raise(3).
void onInterrupt(int signal) {
  const std::span<const char> note = publishedInterruptNote();
  std::size_t written = 0;
  while (written < note.size()) {
    const ssize_t done = ::write(STDERR_FILENO, note.data() + written, note.size() - written);
    if (done <= 0) break;
    written += static_cast<std::size_t>(done);
  }
  // The signal stays blocked until this handler returns; it then meets its
  // default action and ends the process as an interrupt does.
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  ::sigemptyset(&byDefault.sa_mask);
  ::sigaction(signal, &byDefault, nullptr);
  ::raise(signal);
}

}  // namespace

void writeNoteOnInterrupt() {
  // A run started with interrupts ignored (in the background of a script)
  // keeps ignoring them.
  struct sigaction current {};
  if (::sigaction(SIGINT, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  ::sigemptyset(&action.sa_mask);
  // A read of the answer that the signal interrupts is not resumed: the
  // process ends anyway.
  action.sa_flags = 0;
  ::sigaction(SIGINT, &action, nullptr);
}

}  // namespace dupsieve
