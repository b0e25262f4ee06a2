#pragma once

namespace dupsieve {

enum class StandardStream { Input, Output, Error };

// True when the stream is a terminal: a person may be reading it (or, for
// standard input, typing into it), so raw control bytes in a file name could
// move the cursor or fake a prompt, and notes meant for a person are welcome.
// Files and pipes give false.
bool isTerminal(StandardStream stream);

}  // namespace dupsieve
