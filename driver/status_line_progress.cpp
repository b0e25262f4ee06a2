#include "driver/status_line_progress.h"

#include <string>

namespace dupsieve {

void StatusLineProgress::filesFound(std::size_t count) {
  if (!notes_.statusDue()) return;
  notes_.status(std::to_string(count) + " files found");
}

void StatusLineProgress::candidatesRead(std::size_t done, std::size_t total) {
  if (!notes_.statusDue()) return;
  notes_.status(std::to_string(done) + " of " + std::to_string(total) + " candidates read");
}

}  // namespace dupsieve
