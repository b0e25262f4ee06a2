#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace dupsieve {

// The tool's own notes on standard error, apart from the system's output on
// standard output, which they never touch:
// - failures (a confirmed deletion that did not happen) are always written,
//   whoever reads standard error;
// - hints and the live status line only when standard error is a terminal;
// - what helps someone answer the prompts only when, besides, standard input
//   is a terminal, so that a person is typing the answers.
// Scripts and stored outputs therefore see nothing new but failures.
class Notes {
 public:
  Notes(std::ostream& err, bool errorIsTerminal, bool inputIsTerminal)
      : err_(err), errorIsTerminal_(errorIsTerminal), inputIsTerminal_(inputIsTerminal) {}
  Notes(const Notes&) = delete;
  Notes& operator=(const Notes&) = delete;

  bool errorIsTerminal() const { return errorIsTerminal_; }
  bool personAnswering() const { return errorIsTerminal_ && inputIsTerminal_; }

  // One line each; the newline is added here.
  void failure(std::string_view line);
  void hint(std::string_view line);
  void forAnswerer(std::string_view line);

  // Shows `text` on one line that the next status replaces in place; on a
  // terminal only. Call clearStatus() before writing anything else to the
  // terminal, so that the status never mixes with other output.
  void status(std::string_view text);
  void clearStatus();

  // `path` as a note names it: escaped like a shown path when standard error
  // is a terminal, byte for byte otherwise.
  std::string shownPath(std::string_view path) const;

 private:
  void writeLine(std::string_view line);

  std::ostream& err_;
  bool errorIsTerminal_;
  bool inputIsTerminal_;
  std::size_t statusWidth_ = 0;  // characters of the status line on screen, 0 when none
};

}  // namespace dupsieve
