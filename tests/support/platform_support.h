#pragma once

#include <string>

namespace dupsieve::testing {

// Removes a directory and everything in it, however deep, ignoring errors.
void removeTree(const std::string& path);

#ifdef _WIN32
// Standard output of a text stream as a text reader sees it: a CRLF line end
// becomes "\n".
std::string textFromOutput(const std::string& raw);
#endif

}  // namespace dupsieve::testing
