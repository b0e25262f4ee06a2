#pragma once

#include <string>
#include <vector>

namespace dupsieve {

enum class StandardStream { Input, Output, Error };

// True when the stream is a terminal: a person may be reading it (or, for
// standard input, typing into it), so raw control bytes in a file name could
// move the cursor or fake a prompt, and notes meant for a person are welcome.
// Files and pipes give false.
bool isTerminal(StandardStream stream);

// Lets a write to a closed pipe fail instead of ending the process. Output
// errors are passed over, so a reader that stops early (`| head`) costs the
// rest of the output and nothing else: every prompt still reads its answer,
// and the run ends normally.
void ignoreBrokenPipe();

// Makes every large block of memory go back to the system when it is freed,
// where the allocator would otherwise keep blocks of up to the largest size
// freed so far for later use.
void returnLargeBlocksWhenFreed();

// The arguments after the program's name, as the tool holds text: on
// Windows taken from the system's UTF-16 command line and turned into UTF-8,
// so that names outside the code page arrive intact (`argv` is not used
// there); elsewhere the bytes of `argv` as given. Nothing is expanded.
std::vector<std::string> programArguments(int argc, char** argv);

}  // namespace dupsieve
