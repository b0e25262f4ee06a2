#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dupsieve {

struct Settings {
  std::int32_t blockSize = 512;  // leading bytes each digest covers
  bool recurse = false;          // descend into directories
  bool includeEmpty = false;     // record entries of size 0
  std::vector<std::string> startDirectories;  // in command-line order, repeats kept
  std::vector<std::string> options;  // every argument that began with "-", as given
};

// Reads the arguments after the program's name, left to right. "-b<n>",
// "-r" and "-z" set the settings (only the letter after "-" counts; an
// unknown or unreadable option is ignored); anything else is a start
// directory, with backslashes made "/" and one trailing "/" dropped. Without
// any, the start directory is ".".
Settings readCommandLine(std::span<const std::string_view> arguments);

// Backslashes become "/", then one trailing "/" is removed.
std::string normaliseOperand(std::string_view operand);

}  // namespace dupsieve
