#include "platform/open_file_limit.h"

namespace dupsieve {

// Find handles are kernel handles, which have no small per-process limit to
// raise, so a deep walk needs nothing here.
void raiseOpenFileLimit() {}

}  // namespace dupsieve
