#include "resolution/group_verdict.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "resolution/number_text.h"

namespace dupsieve {
namespace {

// How long a comparison runs before its progress is shown.
constexpr std::chrono::milliseconds kQuietComparison{1000};

// "a", "a and b", "a, b and c".
std::string enumerate(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
    text += names[i];
  }
  return text;
}

const ContentComparison::IdenticalSet* setHolding(const ContentComparison& comparison,
                                                  std::size_t file) {
  for (const auto& set : comparison.sets) {
    if (std::find(set.files.begin(), set.files.end(), file) != set.files.end()) return &set;
  }
  return nullptr;
}

// The verdict's lines on one compared group, in the order a person reads
// them: what is identical and what differs, what could not be compared,
// and which members are one file.
struct Verdict {
  std::span<const FileRecord> group;
  const ContentComparison& comparison;
  const Console& console;

  void write() const {
    if (comparison.tooManyFiles) {
      note("the " + groupedNumber(group.size()) +
           " files of this group are too many to compare at once: not compared");
      return;
    }
    writeSets();
    writeUncompared();
    writeHardLinks();
  }

  void writeSets() const {
    const auto& members = comparison.members;
    const bool everyFileCompared = std::all_of(members.begin(), members.end(), [](const auto& m) {
      return m.outcome == MemberOutcome::Compared;
    });
    if (everyFileCompared && comparison.sets.size() == 1) {
      const std::string which = group.size() == 2
                                    ? "both files are identical"
                                    : "all " + groupedNumber(group.size()) + " files are identical";
      note(which + ", " + inHumanUnits(group.front().size) + " each");
      return;
    }
    for (const auto& set : comparison.sets) {
      if (set.files.size() < 2) continue;
      std::vector<std::string> names;  // every name of every file in the set
      for (std::size_t i = 0; i < members.size(); ++i) {
        if (setHolding(comparison, members[i].file) == &set) names.push_back(name(i));
      }
      note("identical: " + enumerate(names));
    }
    for (const auto& set : comparison.sets) {
      if (!set.differsFrom) continue;
      note("not identical: " + name(set.files.front()) + " differs from " +
           name(*set.differsFrom) + " at byte " + groupedNumber(set.firstDifference));
    }
  }

  void writeUncompared() const {
    for (std::size_t i = 0; i < group.size(); ++i) {
      switch (comparison.members[i].outcome) {
        case MemberOutcome::Gone: note(name(i) + " no longer exists: not compared"); break;
        case MemberOutcome::Changed:
          note(name(i) + " changed since it was listed: not compared");
          break;
        case MemberOutcome::Unreadable: note(name(i) + " could not be read: cannot compare"); break;
        case MemberOutcome::Compared:
        case MemberOutcome::SameFile: break;
      }
    }
  }

  void writeHardLinks() const {
    const auto& members = comparison.members;
    for (std::size_t first = 0; first < members.size(); ++first) {
      if (members[first].file != first) continue;
      std::vector<std::string> names{name(first)};
      for (std::size_t i = first + 1; i < members.size(); ++i) {
        if (members[i].file == first) names.push_back(name(i));
      }
      if (names.size() < 2) continue;
      note(enumerate(names) + " are one file (hard links): deleting one frees no space");
    }
  }

  std::string name(std::size_t member) const {
    return console.notes.shownPath(group[member].path());
  }
  // Standard output is flushed before each note, so that the notes never
  // overtake the member lines and prompts on a screen they share.
  void note(const std::string& line) const {
    console.out.flush();
    console.notes.forAnswerer(line);
  }
};

}  // namespace

std::optional<ContentComparison> giveVerdict(std::span<const FileRecord> group, const Console& console,
                                             FileSystem& fileSystem) {
  Notes& notes = console.notes;
  if (!notes.personAnswering() || !console.in.good()) return std::nullopt;

  std::vector<ListedFile> listed;
  for (const FileRecord& member : group) listed.push_back(member.listed());
  const auto open = [&](std::size_t member) {
    return fileSystem.openListedFile(group[member].path(), listed[member]);
  };
  const auto progress = [&](std::uint64_t read, std::uint64_t total) {
    if (!notes.statusDue(kQuietComparison)) return;
    notes.status("comparing: " + groupedNumber(read) + " of " + groupedNumber(total) + " bytes");
  };
  // Time spent waiting for the last answer is not comparing.
  notes.clearStatus();
  std::optional<ContentComparison> comparison = compareContents(listed, open, progress);
  Verdict{group, *comparison, console}.write();
  notes.clearStatus();
  return comparison;
}

void LastCopyWarning::beforePrompt(std::size_t member) {
  if (comparison_ == nullptr || comparison_->tooManyFiles) return;
  const auto& members = comparison_->members;
  const ContentComparison::IdenticalSet* set = setHolding(*comparison_, members[member].file);
  if (set == nullptr) return;
  // The data lives on while any other name holds it: a name of an identical
  // file, or another name (hard link) of this very file. Contents that had
  // no other name to begin with are no copy of anything.
  bool hadOtherNames = false;
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (i == member || setHolding(*comparison_, members[i].file) != set) continue;
    if (stillThere(i)) return;
    hadOtherNames = true;
  }
  if (!hadOtherNames) return;
  console_.out.flush();  // as before every note of the verdict
  console_.notes.forAnswerer("last copy: every other identical file of this group is gone");
}

bool LastCopyWarning::stillThere(std::size_t member) {
  if (removed_[member]) return false;
  const FileRecord& record = group_[member];
  const ContentOpening now = fileSystem_->openListedFile(record.path(), record.listed()).outcome;
  return now == ContentOpening::Opened || now == ContentOpening::Unreadable;
}

}  // namespace dupsieve
