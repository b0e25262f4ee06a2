#pragma once

#include <istream>
#include <ostream>

#include "resolution/notes.h"

namespace dupsieve {

// The person's side of the run: the streams the report and the prompts go
// through, whether shown paths must be escaped for a terminal, and the
// tool's own notes on standard error.
struct Console {
  std::ostream& out;
  std::istream& in;
  bool escapeControls;
  Notes& notes;
};

}  // namespace dupsieve
