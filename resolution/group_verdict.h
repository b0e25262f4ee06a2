#pragma once

#include <chrono>
#include <optional>

#include "catalogue/group.h"
#include "platform/file_system.h"
#include "resolution/console.h"
#include "resolution/content_comparison.h"

namespace dupsieve {

// How long a comparison runs before its progress is shown.
inline constexpr std::chrono::milliseconds kQuietComparison{1000};

// What a person answering the prompts of a group needs to answer well,
// written after the group's member lines through the notes for a person
// answering only. Compares the members in full and writes the verdict:
// which files are identical (byte for byte, as they are at that moment),
// where the others first differ (offsets from 0), which could not be
// compared and why, and which are one file under two names. A comparison
// that takes longer than kQuietComparison shows its progress on the status
// line meanwhile.
// Anyone else gets nothing, and nothing is read or asked of the file system
// for them; nor is anything once the answers have ended, since no prompt
// waits then: the result is then empty.
std::optional<ContentComparison> giveVerdict(const Group& group, const Console& console,
                                             FileSystem& fileSystem);

}  // namespace dupsieve
