#include "resolution/last_copy_warning.h"

namespace dupsieve {

void LastCopyWarning::beforePrompt(std::size_t member) {
  if (comparison_ == nullptr || comparison_->tooManyFiles) return;
  const auto& members = comparison_->members;
  const std::size_t file = members[member].file;
  const ContentComparison::IdenticalSet* set = comparison_->setHolding(file);
  if (set == nullptr || set->files.size() < 2) return;
  for (const std::size_t other : set->files) {
    if (other == file) continue;
    for (std::size_t i = 0; i < members.size(); ++i) {
      if (members[i].file == other && stillThere(i)) return;
    }
  }
  noteForAnswerer(console_, "last copy: every other identical file of this group is gone");
}

bool LastCopyWarning::stillThere(std::size_t member) {
  if (removed_[member]) return false;
  const FileRecord& record = (*group_)[member];
  const ContentOpening now = fileSystem_->openListedFile(record.path(), record.listed()).outcome;
  return now == ContentOpening::Opened || now == ContentOpening::Unreadable;
}

}  // namespace dupsieve
