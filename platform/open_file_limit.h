#pragma once

namespace dupsieve {

// Lets the process hold as many open directories as the system allows: the
// walk keeps one listing open per level of depth.
void raiseOpenFileLimit();

}  // namespace dupsieve
