#include "resolution/group_verdict.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace dupsieve {
namespace {

// Long numbers of bytes read more easily in groups of three digits.
std::string withThousands(std::uint64_t number) {
  const std::string digits = std::to_string(number);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

// "a", "a and b", "a, b and c".
std::string enumerate(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
    text += names[i];
  }
  return text;
}

// The verdict's lines on one compared group, in the order a person reads
// them: what is identical and what differs, what could not be compared,
// and which members are one file.
class Verdict {
 public:
  Verdict(const Group& group, const ContentComparison& comparison, const Console& console)
      : group_(group), comparison_(comparison), console_(console) {}

  void write() const {
    if (comparison_.tooManyFiles) {
      note("the " + withThousands(group_.size()) +
           " files of this group are too many to compare at once: not compared");
      return;
    }
    writeSets();
    writeUncompared();
    writeHardLinks();
  }

 private:
  void writeSets() const {
    const auto& members = comparison_.members;
    const bool everyFileCompared = std::all_of(members.begin(), members.end(), [](const auto& m) {
      return m.outcome == MemberOutcome::Compared;
    });
    if (everyFileCompared && comparison_.sets.size() == 1) {
      note(group_.size() == 2 ? "both files are identical"
                              : "all " + withThousands(group_.size()) + " files are identical");
      return;
    }
    for (const auto& set : comparison_.sets) {
      if (set.files.size() < 2) continue;
      std::vector<std::string> names;  // every name of every file in the set
      for (std::size_t i = 0; i < members.size(); ++i) {
        if (comparison_.setHolding(members[i].file) == &set) names.push_back(name(i));
      }
      note("identical: " + enumerate(names));
    }
    for (const auto& set : comparison_.sets) {
      if (!set.differsFrom) continue;
      note("not identical: " + name(set.files.front()) + " differs from " +
           name(*set.differsFrom) + " at byte " + withThousands(set.firstDifference));
    }
  }

  void writeUncompared() const {
    for (std::size_t i = 0; i < group_.size(); ++i) {
      switch (comparison_.members[i].outcome) {
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
    const auto& members = comparison_.members;
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
    return console_.notes.shownPath(group_[member].path());
  }
  void note(const std::string& line) const { noteForAnswerer(console_, line); }

  const Group& group_;
  const ContentComparison& comparison_;
  const Console& console_;
};

}  // namespace

std::optional<ContentComparison> giveVerdict(const Group& group, const Console& console,
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
    notes.status("comparing: " + withThousands(read) + " of " + withThousands(total) + " bytes");
  };
  // Time spent waiting for the last answer is not comparing.
  notes.clearStatus();
  std::optional<ContentComparison> comparison = compareContents(listed, open, progress);
  Verdict(group, *comparison, console).write();
  notes.clearStatus();
  return comparison;
}

}  // namespace dupsieve
