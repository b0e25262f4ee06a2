#include "platform/interrupt.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <span>

#include "platform/interrupt_note.h"

namespace dupsieve {
namespace {

// Two copies: the handler reads the one published last while the next is
// written into the other, so it never sees a note half written.
struct NoteCopy {
  std::array<char, kInterruptNoteCapacity> bytes{};
  std::atomic<std::size_t> length{0};
};
std::array<NoteCopy, 2> copies;
std::atomic<int> published{0};
static_assert(std::atomic<std::size_t>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

}  // namespace

void setInterruptNote(std::string_view note) {
  const int next = 1 - published.load();
  NoteCopy& copy = copies[static_cast<std::size_t>(next)];
  const std::size_t length = std::min(note.size(), copy.bytes.size());
  std::copy_n(note.data(), length, copy.bytes.data());
  copy.length.store(length);
  published.store(next);
}

std::span<const char> publishedInterruptNote() {
  const NoteCopy& copy = copies[static_cast<std::size_t>(published.load())];
  return {copy.bytes.data(), copy.length.load()};
}

}  // namespace dupsieve
