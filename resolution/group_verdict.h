#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "catalogue/file_record.h"
#include "platform/file_system.h"
#include "resolution/console.h"
#include "resolution/content_comparison.h"

namespace dupsieve {

// What a person answering the prompts of a group needs to answer well,
// written after the group's member lines through the notes for a person
// answering only. Compares the members in full and writes the verdict:
// which files are identical (byte for byte, as they are at that moment;
// one written while it was compared is said to have changed instead),
// where the others first differ (offsets from 0), which could not be
// compared and why, and which are one file under two names. A comparison
// that takes longer than about a second shows its progress on the status
// line meanwhile. Anyone else gets nothing (an empty result), and nothing
// is read for them; nor is anything once the answers have ended, since no
// prompt waits then.
std::optional<ContentComparison> giveVerdict(std::span<const FileRecord> group, const Console& console,
                                             FileSystem& fileSystem);

// Warns a person answering before the prompt of a last copy: a member whose
// contents no other name among the group's members holds any more, every
// identical file and every other name (hard link) of its own file having
// been removed in this run or gone. A file that cannot be read now is still
// there: its data is not lost. Without a comparison (nobody answering, or
// too many files to compare) it warns of nothing.
class LastCopyWarning {
 public:
  LastCopyWarning(std::span<const FileRecord> group, const ContentComparison* comparison,
                  const Console& console,
                  FileSystem& fileSystem)
      : group_(group),
        comparison_(comparison),
        console_(console),
        fileSystem_(&fileSystem),
        removed_(group.size(), false) {}

  // Before the prompt of `member`.
  void beforePrompt(std::size_t member);
  // The prompt of `member` removed its file.
  void removed(std::size_t member) { removed_[member] = true; }

 private:
  // Whether a member's file may still be there: not removed in this run,
  // and neither gone nor changed since it was listed.
  bool stillThere(std::size_t member);

  std::span<const FileRecord> group_;
  const ContentComparison* comparison_;
  Console console_;
  FileSystem* fileSystem_;
  std::vector<bool> removed_;
};

}  // namespace dupsieve
