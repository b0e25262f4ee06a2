#pragma once

#include <istream>
#include <ostream>

#include "resolution/notes.h"

namespace dupsieve {

// The person's side of the run: the streams the report and the prompts go
// through, whether shown paths must be escaped for a terminal, the tool's
// own notes on standard error, and whether each line is flushed as it ends.
// Flushing line by line is for someone watching; a run that nobody follows
// at a terminal writes the same bytes in fewer, larger writes, and its input
// flushes the output before it waits for an answer.
struct Console {
  std::ostream& out;
  std::istream& in;
  bool escapeControls;
  Notes& notes;
  bool flushEachLine = true;
};

// Ends a line of `console.out`, flushing it when lines are flushed.
inline void endLine(const Console& console) {
  console.out << '\n';
  if (console.flushEachLine) console.out << std::flush;
}

}  // namespace dupsieve
