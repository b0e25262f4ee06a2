#include "driver/hints.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

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
  const std::size_t slash = operand.rfind('/');
  const std::string_view last =
      std::string_view(operand).substr(slash == std::string::npos ? 0 : slash + 1);
  if (hasWildcards(last)) {
    // A pattern names whatever a listing of it yields, as in the walk.
    if (!fileSystem.findFirst(operand)) hints.add(shown + ": no such file or directory");
    return;
  }
  const auto named = fileSystem.status(operand);
  if (!named) {
    hints.add(shown + ": no such file or directory");
  } else if (named->type == FileType::Directory && !recurse) {
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
