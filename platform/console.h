#pragma once

namespace dupsieve {

// True when standard output is a terminal, where raw control bytes in a file
// name could move the cursor or fake a prompt.
bool standardOutputIsTerminal();

// Lets the process hold as many open directories as the system allows: the
// walk keeps one listing open per level of depth.
void raiseOpenFileLimit();

}  // namespace dupsieve
