#pragma once

#include <chrono>
#include <string>

namespace dupsieve::testing {

// How long one run of the built binary may take before it is killed and its
// test fails: far more than any run here needs, even under an emulator on a
// loaded machine, and far less than a hung suite.
inline constexpr std::chrono::seconds kRunTimeLimit{30};

// Removes a directory and everything in it, however deep, ignoring errors.
void removeTree(const std::string& path);

// Standard output of a text stream as a text reader sees it: on Windows a
// CRLF line end becomes "\n"; elsewhere the bytes stay as they are.
std::string textFromOutput(const std::string& raw);

}  // namespace dupsieve::testing
