#include "resolution/deletion_prompt.h"

#include <string>

#include "resolution/shown_path.h"

namespace dupsieve {
namespace {

// Why a removal did not happen, in plain words.
const char* reasonNotRemoved(Removal outcome) {
  switch (outcome) {
    case Removal::Removed: break;
    case Removal::Gone: return "it no longer exists";
    case Removal::Changed: return "it changed after it was listed";
    case Removal::DirectoryReplaced:
      return "its directory was moved or replaced after it was listed";
    case Removal::Directory: return "it is a directory";
    case Removal::NotAFile: return "it is not a regular file";
    case Removal::PermissionDenied: return "permission denied";
    case Removal::InUse: return "it is in use";
    case Removal::ReadOnly: return "the file system is read-only";
    case Removal::Refused: return "the system refused it";
  }
  return "the system refused it";
}

}  // namespace

bool DeletionPrompt::operator()(const FileRecord& record) const {
  console_.out << "Delete ";
  writeShownPath(console_.out, record.path(), console_.escapeControls);
  console_.out << " ? (y/other): ";

  // Formatted input skips whitespace, empty lines included, and reads one
  // word; it flushes the prompt first when the input is tied to the output.
  // Once the input has ended it reads nothing and the answer stays empty.
  std::string answer;
  console_.in >> answer;
  if (answer != "y" && answer != "Y") return false;

  // Minutes can pass between the listing and the answer. A file that was
  // replaced, removed or rewritten meanwhile is not what the user agreed to
  // delete, and a directory is never deleted. Whoever answered y must learn
  // when the file is still there.
  const Removal outcome = fileSystem_->removeListedFile(record.path(), record.listed());
  if (outcome == Removal::Removed) return true;
  console_.notes.failure("could not delete " + console_.notes.shownPath(record.path()) + ": " +
                         reasonNotRemoved(outcome));
  return false;
}

}  // namespace dupsieve
