#include "platform/broken_pipe.h"

namespace dupsieve {

// A write to a closed pipe fails there without any signal.
void ignoreBrokenPipe() {}

}  // namespace dupsieve
