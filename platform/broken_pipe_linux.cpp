#include "platform/broken_pipe.h"

#include <csignal>

namespace dupsieve {

void ignoreBrokenPipe() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace dupsieve
