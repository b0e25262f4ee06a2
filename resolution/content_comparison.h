#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "platform/file_system.h"

namespace dupsieve {

// What became of one member of a compared group.
enum class MemberOutcome {
  Compared,    // read in full, or until it differed from every other file
  SameFile,    // another name of an earlier member's file (same device and inode): not read
  Gone,        // no longer there when the comparison began
  Changed,     // another file, or another size, than was listed; or written while compared
  Unreadable,  // could not be opened or read
};

// The outcome of comparing the members of a group byte for byte.
struct ContentComparison {
  struct Member {
    MemberOutcome outcome = MemberOutcome::Compared;
    std::size_t file = 0;  // the first member that names this member's file (itself unless SameFile)
  };

  // Files whose contents are identical, byte for byte, one member per file.
  struct IdenticalSet {
    std::vector<std::size_t> files;  // in group order
    // Where this set parted from another: that set's first file at the time
    // and the offset (from 0) of the first byte at which the two differ.
    // Empty for the set of the first file compared.
    std::optional<std::size_t> differsFrom;
    std::uint64_t firstDifference = 0;
  };

  std::vector<Member> members;     // one per member, in group order
  std::vector<IdenticalSet> sets;  // in the order of their first files
  // More files than may be held open at once, each longer than one chunk:
  // nothing was opened or read, every member stays Compared, and `sets` is
  // empty.
  bool tooManyFiles = false;
};

// How much the comparison may hold at once. Chunks are the memory budget
// shared among the files being read, within the two bounds.
struct ComparisonLimits {
  std::size_t memoryBudget = std::size_t{8} << 20;
  std::size_t smallestChunk = std::size_t{4} << 10;
  std::size_t largestChunk = std::size_t{1} << 20;
  std::size_t mostFilesOpen = 128;
};

// Opens one member (by its index) for reading.
using OpenMember = std::function<OpenedContent(std::size_t member)>;
// Told after every chunk how many bytes have been read of how many at most.
using ComparisonProgress = std::function<void(std::uint64_t read, std::uint64_t total)>;

// Compares the contents of files listed with one size, all at once, chunk by
// chunk: each file is read at most once, front to back, and only for as
// long as it is still identical to some other file so far, so a pair stops
// being read at its first difference. Members that name one file (same
// device and inode, both known) are one file and read once. A file that is
// read to its end is read once more to see that it has not grown. Every
// file read is asked, when done with, whether it is unchanged since it was
// opened: one written meanwhile, even behind the point read, is Changed and
// in no set, and no set is said to part from it.
ContentComparison compareContents(std::span<const ListedFile> members, const OpenMember& open,
                                  const ComparisonProgress& progress = {},
                                  const ComparisonLimits& limits = {});

}  // namespace dupsieve
