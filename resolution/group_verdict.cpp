#include "resolution/group_verdict.h"

#include <algorithm>
#include <cstdint>

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

const ContentComparison::IdenticalSet* setHolding(const ContentComparison& comparison,
                                                  std::size_t file) {
  for (const auto& set : comparison.sets) {
    if (std::find(set.files.begin(), set.files.end(), file) != set.files.end()) return &set;
  }
  return nullptr;
}

}  // namespace

GroupVerdict::GroupVerdict(const Group& group, const Console& console, FileSystem& fileSystem)
    : group_(&group), console_(console), fileSystem_(&fileSystem), removed_(group.size(), false) {
  Notes& notes = console.notes;
  if (!notes.personAnswering() || !console.in.good()) return;

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
  comparison_ = compareContents(listed, open, progress);
  writeVerdict();
  notes.clearStatus();
}

void GroupVerdict::writeVerdict() {
  const ContentComparison& comparison = *comparison_;
  const std::size_t count = group_->size();
  if (comparison.tooManyFiles) {
    write("the " + withThousands(count) +
          " files of this group are too many to compare at once: not compared");
    return;
  }

  const auto& members = comparison.members;
  const bool everyFileCompared = std::all_of(members.begin(), members.end(), [](const auto& m) {
    return m.outcome == MemberOutcome::Compared;
  });
  if (everyFileCompared && comparison.sets.size() == 1) {
    write(count == 2 ? "both files are identical"
                     : "all " + withThousands(count) + " files are identical");
  } else {
    for (const auto& set : comparison.sets) {
      if (set.files.size() < 2) continue;
      std::vector<std::string> names;  // every name of every file in the set
      for (std::size_t i = 0; i < count; ++i) {
        if (setHolding(comparison, members[i].file) == &set) names.push_back(name(i));
      }
      write("identical: " + enumerate(names));
    }
    for (const auto& set : comparison.sets) {
      if (!set.differsFrom) continue;
      write("not identical: " + name(set.files.front()) + " differs from " +
            name(*set.differsFrom) + " at byte " + withThousands(set.firstDifference));
    }
  }

  for (std::size_t i = 0; i < count; ++i) {
    switch (members[i].outcome) {
      case MemberOutcome::Gone: write(name(i) + " no longer exists: not compared"); break;
      case MemberOutcome::Changed:
        write(name(i) + " changed since it was listed: not compared");
        break;
      case MemberOutcome::Unreadable:
        write(name(i) + " could not be read: cannot compare");
        break;
      case MemberOutcome::Compared:
      case MemberOutcome::SameFile: break;
    }
  }

  for (std::size_t first = 0; first < count; ++first) {
    if (members[first].file != first) continue;
    std::vector<std::string> names{name(first)};
    for (std::size_t i = first + 1; i < count; ++i) {
      if (members[i].file == first) names.push_back(name(i));
    }
    if (names.size() < 2) continue;
    write(enumerate(names) + " are one file (hard links): deleting one frees no space");
  }
}

void GroupVerdict::beforePrompt(std::size_t member) {
  if (!comparison_ || comparison_->tooManyFiles) return;
  const auto& members = comparison_->members;
  const std::size_t file = members[member].file;
  const ContentComparison::IdenticalSet* set = setHolding(*comparison_, file);
  if (set == nullptr || set->files.size() < 2) return;
  for (const std::size_t other : set->files) {
    if (other == file) continue;
    for (std::size_t i = 0; i < members.size(); ++i) {
      if (members[i].file == other && stillThere(i)) return;
    }
  }
  write("last copy: every other identical file of this group is gone");
}

void GroupVerdict::removed(std::size_t member) { removed_[member] = true; }

void GroupVerdict::write(const std::string& line) {
  console_.out.flush();
  console_.notes.forAnswerer(line);
}

std::string GroupVerdict::name(std::size_t member) const {
  return console_.notes.shownPath((*group_)[member].path());
}

bool GroupVerdict::stillThere(std::size_t member) {
  if (removed_[member]) return false;
  const FileRecord& record = (*group_)[member];
  const ContentOpening now = fileSystem_->openListedFile(record.path(), record.listed()).outcome;
  return now == ContentOpening::Opened || now == ContentOpening::Unreadable;
}

}  // namespace dupsieve
