#include "driver/status_line_progress.h"

#include "resolution/number_text.h"

namespace dupsieve {

void StatusLineProgress::filesFound(std::size_t count) {
  // Kept whether shown or not: a run that runs out of memory says how far
  // it came.
  notes_.filesFound(count);
  if (!notes_.statusDue()) return;
  notes_.status(groupedNumber(count) + " files found");
}

void StatusLineProgress::candidatesRead(std::size_t done, std::size_t total) {
  if (!notes_.statusDue()) return;
  notes_.status(groupedNumber(done) + " of " + groupedNumber(total) + " candidates read");
}

}  // namespace dupsieve
