#pragma once

#include <cstddef>

#include "catalogue/progress_observer.h"
#include "resolution/notes.h"

namespace dupsieve {

// Shows how far the walk and the digest stage have come on the status line
// of the notes, whenever the notes find a status due: a live counter on a
// terminal, nothing at all elsewhere.
class StatusLineProgress final : public ProgressObserver {
 public:
  explicit StatusLineProgress(Notes& notes) : notes_(notes) {}

  void filesFound(std::size_t count) override;
  void candidatesRead(std::size_t done, std::size_t total) override;

 private:
  Notes& notes_;
};

}  // namespace dupsieve
