#include "driver/hints.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/directory_walker.h"
#include "platform/conventions.h"
#include "platform/path_parts.h"
#include "platform/wildcard_match.h"
#include "resolution/number_text.h"

namespace dupsieve {
namespace {

// Hint lines in the order found; an operand or option given twice is
// hinted at once.
class HintList {
 public:
  void add(std::string line) {
    if (std::find(lines_.begin(), lines_.end(), line) == lines_.end()) {
      lines_.push_back(std::move(line));
    }
  }
  void writeTo(Notes& notes) const {
    for (const std::string& line : lines_) notes.hint(line);
  }

 private:
  std::vector<std::string> lines_;
};

void hintAtOption(const std::string& option, const Notes& notes, HintList& hints) {
  if (option.starts_with("--")) {
    hints.add("dupsieve has no long options; see " + manualReference());
    return;
  }
  const char letter = option.size() < 2 ? '\0' : option[1];
  const std::string shown = notes.shownPath(option);
  if (letter != 'b' && letter != 'r' && letter != 'z') {
    hints.add(shown + " is not an option of dupsieve; see " + manualReference());
  } else if (letter != 'b' && option.size() > 2) {
    // Only the letter after "-" counts, so "-rz" never turns on -z.
    hints.add(shown + " is read as -" + letter + ": give each option apart");
  }
}

bool isDirectory(const DirectoryListing& listing) {
  return (listing.entry().attributes & kAttributeDirectory) != 0;
}

void hintAtOperand(const std::string& operand, bool recurse, FileSystem& fileSystem,
                   const Notes& notes, HintList& hints) {
  if (operand.empty()) {
    hints.add("an empty operand (or a lone /) names nothing: give /. for the root directory");
    return;
  }
  const std::string shown = notes.shownPath(operand);
  if (isDriveRelative(operand)) {
    const std::string drive = operand.substr(0, 2);
    hints.add(shown + " is relative to the current folder of drive " + drive +
              ", which is not searched: give " + drive + "\\" + notes.shownPath(operand.substr(2)));
    return;
  }
  // What the walk would meet first: for a plain name the entry itself, not
  // followed if it is a link; for a pattern whatever a listing of it yields.
  const auto listing = fileSystem.findFirst(operand);
  if (!listing) {
    hints.add(shown + ": no such file or directory");
    return;
  }
  if (hasWildcards(splitAtLastSlash(operand).name)) return;
  if (isDirectory(*listing)) {
    if (!recurse) hints.add(shown + " is a directory: give -r to search inside it");
    return;
  }
  // The walk takes a named link as the entry it is, and records no link;
  // through "/." the name leads into the directory the link points to.
  const auto through = fileSystem.findFirst(operand + "/.");
  if (through && isDirectory(*through)) {
    hints.add(shown + " is a link to a directory: give " + (recurse ? "" : "-r ") + shown +
              "/. to search where it leads");
  }
}

}  // namespace

void writeCommandLineHints(const Settings& settings, FileSystem& fileSystem, Notes& notes) {
  if (!notes.errorIsTerminal()) return;
  HintList hints;
  for (const std::string& option : settings.options) hintAtOption(option, notes, hints);
  for (const std::string& operand : settings.startDirectories) {
    hintAtOperand(operand, settings.recurse, fileSystem, notes, hints);
  }
  hints.writeTo(notes);
}

void writeResultHints(const Settings& settings, std::size_t filesFound,
                      std::uint64_t unreadDirectories, FileSystem& fileSystem, Notes& notes) {
  if (unreadDirectories > 0) {
    notes.hint(groupedNumber(unreadDirectories) +
               (unreadDirectories == 1 ? " directory could not be read: what is in it was"
                                       : " directories could not be read: what is in them was") +
               " not searched");
  }
  if (!notes.errorIsTerminal() || filesFound > 0 || settings.includeEmpty) return;
  // Only a run that found nothing walks again, counting what it passed
  // over, so every other run costs what it did.
  std::vector<FileRecord> withEmpty;
  const DirectoryWalker walker(withEmpty, /*includeEmpty=*/true, settings.recurse, fileSystem);
  for (const std::string& start : settings.startDirectories) walker(start);
  // Without -r, -z records a directory that an operand names as an entry of
  // size 0; the hint before the walk has spoken of those.
  std::size_t emptyFiles = withEmpty.size();
  if (!settings.recurse) {
    emptyFiles = static_cast<std::size_t>(
        std::count_if(withEmpty.begin(), withEmpty.end(), [&](const FileRecord& record) {
          const auto listing = fileSystem.findFirst(record.path());
          return listing && !isDirectory(*listing);
        }));
  }
  if (emptyFiles == 0) return;
  notes.hint(groupedNumber(emptyFiles) +
             (emptyFiles == 1 ? " file of size 0 was" : " files of size 0 were") +
             " passed over: give -z to count files of size 0");
}

}  // namespace dupsieve
