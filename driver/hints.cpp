#include "driver/hints.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "platform/path_parts.h"
#include "platform/wildcard_match.h"

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
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
};

void hintAtOption(const std::string& option, const Notes& notes, HintList& hints) {
  if (option.starts_with("--")) {
    hints.add("dupsieve has no long options; see man dupsieve");
    return;
  }
  const char letter = option.size() < 2 ? '\0' : option[1];
  const std::string shown = notes.shownPath(option);
  if (letter != 'b' && letter != 'r' && letter != 'z') {
    hints.add(shown + " is not an option of dupsieve; see man dupsieve");
  } else if (letter != 'b' && option.size() > 2) {
    // Only the letter after "-" counts, so "-rz" never turns on -z.
    hints.add(shown + " is read as -" + letter + ": give each option apart");
  }
}

void hintAtOperand(const std::string& operand, bool recurse, FileSystem& fileSystem,
                   const Notes& notes, HintList& hints) {
  if (operand.empty()) {
    hints.add("an empty operand (or a lone /) names nothing: give /. for the root directory");
    return;
  }
  const std::string shown = notes.shownPath(operand);
  // What the walk would meet first: for a plain name the entry itself, not
  // followed if it is a link; for a pattern whatever a listing of it yields.
  const auto listing = fileSystem.findFirst(operand);
  if (!listing) {
    hints.add(shown + ": no such file or directory");
    return;
  }
  const std::string_view last = splitAtLastSlash(operand).name;
  const bool namesDirectory = (listing->entry().attributes & kAttributeDirectory) != 0;
  if (!hasWildcards(last) && namesDirectory && !recurse) {
    hints.add(shown + " is a directory: give -r to search inside it");
  }
}

}  // namespace

void writeHints(const Settings& settings, FileSystem& fileSystem, Notes& notes) {
  if (!notes.errorIsTerminal()) return;
  HintList hints;
  for (const std::string& option : settings.options) hintAtOption(option, notes, hints);
  for (const std::string& operand : settings.startDirectories) {
    hintAtOperand(operand, settings.recurse, fileSystem, notes, hints);
  }
  for (const std::string& line : hints.lines()) notes.hint(line);
}

}  // namespace dupsieve
