#pragma once

#include <span>

#include "platform/interrupt.h"

namespace dupsieve {

// The note set last, for the interrupt handlers of each system: reading it
// allocates nothing and takes no lock.
std::span<const char> publishedInterruptNote();

}  // namespace dupsieve
