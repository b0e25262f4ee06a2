#pragma once

#include <sstream>

#include "resolution/notes.h"

namespace dupsieve::testing {

// Notes written into a string, as a script would see them (standard error
// not a terminal) unless told otherwise.
struct CapturedNotes {
  explicit CapturedNotes(bool errorIsTerminal = false, bool inputIsTerminal = false)
      : notes(err, errorIsTerminal, inputIsTerminal) {}
  std::ostringstream err;
  Notes notes;
};

}  // namespace dupsieve::testing
