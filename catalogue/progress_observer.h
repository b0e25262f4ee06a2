#pragma once

#include <cstddef>

namespace dupsieve {

// Hears how far the long stages have come, so that someone watching can see
// the run move. The stages tell it only every kProgressStep items, so that
// hearing costs next to nothing; what it does with that (and how often it
// shows anything) is up to the observer. By default it does nothing.
class ProgressObserver {
 public:
  virtual ~ProgressObserver() = default;

  // The walk has recorded `count` files so far, over every start directory.
  virtual void filesFound(std::size_t /*count*/) {}

  // The digest stage has read `done` of its `total` candidates.
  virtual void candidatesRead(std::size_t /*done*/, std::size_t /*total*/) {}
};

inline constexpr std::size_t kProgressStep = 64;

// An observer that ignores everything, for runs that show no progress.
inline ProgressObserver& noProgress() {
  static ProgressObserver none;
  return none;
}

}  // namespace dupsieve
