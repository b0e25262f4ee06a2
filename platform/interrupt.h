#pragma once

#include <cstddef>
#include <string_view>

namespace dupsieve {

// What an interrupt (Ctrl-C) writes on standard error before the process
// ends: a copy of `note`, which replaces the previous one. Safe to call at
// any time, also while an interrupt is being handled; a note longer than
// kInterruptNoteCapacity bytes is cut there.
inline constexpr std::size_t kInterruptNoteCapacity = 1024;
void setInterruptNote(std::string_view note);

// From now on an interrupt writes the note set last, then ends the process
// as the interrupt would have without this (so a shell sees an interrupted
// run, not an exit status). The handler allocates nothing and takes no lock.
void writeNoteOnInterrupt();

}  // namespace dupsieve
