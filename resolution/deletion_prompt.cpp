#include "resolution/deletion_prompt.h"

#include <ios>
#include <locale>
#include <string>

#include "resolution/shown_path.h"

namespace dupsieve {
namespace {

// Why a removal did not happen, in plain words.
const char* reasonNotRemoved(Removal outcome) {
  switch (outcome) {
    case Removal::Removed:
    case Removal::RemovedName: break;
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

  console_.notes.awaitingAnswer(true);
  const AnswerWord answer = readAnswerWord(console_.in);
  console_.notes.awaitingAnswer(false);
  if (answer.length == 0) return false;
  console_.notes.answered();
  if (!answer.isYes()) {
    // "yes" reads as consent to a person but keeps the file: say so while
    // the next prompt can still be answered otherwise.
    if (answer.first == 'y' || answer.first == 'Y') {
      console_.out << std::flush;
      console_.notes.forAnswerer("kept " + console_.notes.shownPath(record.path()) +
                                 ": only a lone y or Y deletes");
    }
    return false;
  }

  // Minutes can pass between the listing and the answer. A file that was
  // replaced, removed or rewritten meanwhile is not what the user agreed to
  // delete, and a directory is never deleted. Whoever answered y must learn
  // when the file is still there.
  const Removal outcome = fileSystem_->removeListedFile(record.path(), record.listed());
  if (outcome == Removal::Removed || outcome == Removal::RemovedName) {
    // A name whose file keeps other names frees nothing yet.
    console_.notes.deleted(outcome == Removal::Removed ? record.size : 0);
    return true;
  }
  console_.notes.deletionFailed("could not delete " + console_.notes.shownPath(record.path()) +
                                ": " + reasonNotRemoved(outcome));
  return false;
}

AnswerWord readAnswerWord(std::istream& in) {
  // The sentry does what formatted input does: flushes the tied output,
  // skips whitespace (empty lines included), and fails once the input has
  // ended. Only the first byte and whether there is a second decide the
  // answer, so the rest of a word is skipped unkept, however long.
  AnswerWord word;
  const std::istream::sentry ready(in);
  if (!ready) return word;
  std::streambuf& input = *in.rdbuf();
  const auto& ctype = std::use_facet<std::ctype<char>>(in.getloc());
  using Traits = std::istream::traits_type;
  for (auto next = input.sgetc();; next = input.snextc()) {
    if (Traits::eq_int_type(next, Traits::eof())) {
      in.setstate(word.length == 0 ? std::ios::eofbit | std::ios::failbit : std::ios::eofbit);
      return word;
    }
    const char byte = Traits::to_char_type(next);
    if (ctype.is(std::ctype_base::space, byte)) return word;
    if (word.length == 0) word.first = byte;
    ++word.length;
  }
}

}  // namespace dupsieve
