#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "narrowing/same_digest_groups.h"
#include "platform/file_system.h"
#include "resolution/console.h"
#include "resolution/content_comparison.h"

namespace dupsieve {

// What a person answering the prompts of a group needs to answer well,
// written through the notes for a person answering only. Anyone else gets
// nothing, and nothing is read or asked of the file system for them; nor
// is anything once the answers have ended, since no prompt waits then.
//
// Made after the group's member lines, it compares the members in full and
// writes the verdict: which files are identical (byte for byte, as they are
// at that moment), where the others first differ (offsets from 0), which
// could not be compared and why, and which are one file under two names.
// A comparison that takes longer than about a second shows its progress on
// the status line meanwhile.
class GroupVerdict {
 public:
  // How long a comparison runs before its progress is shown.
  static constexpr std::chrono::milliseconds kQuietComparison{1000};

  // Standard output is flushed before each note, so that the notes never
  // overtake the member lines and prompts on a screen they share.
  GroupVerdict(const Group& group, const Console& console, FileSystem& fileSystem);

  // Before the prompt of `member`: warns when every file identical to it
  // (its own other names aside) has been removed in this run or is gone.
  void beforePrompt(std::size_t member);
  // The prompt of `member` removed its file.
  void removed(std::size_t member);

 private:
  void writeVerdict();
  std::string name(std::size_t member) const;
  // Whether a member's file may still be there: not removed in this run,
  // and neither gone nor changed since it was listed.
  bool stillThere(std::size_t member);

  void write(const std::string& line);

  const Group* group_;
  Console console_;
  FileSystem* fileSystem_;
  std::optional<ContentComparison> comparison_;  // only when a person answers
  std::vector<bool> removed_;
};

}  // namespace dupsieve
