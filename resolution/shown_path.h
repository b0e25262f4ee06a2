#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace dupsieve {

// Writes a path for the user to read. With `escapeControls`, bytes below
// 0x20 and 0x7F are written as escapes (\n, \t, \x1b, ...), so that a file
// name cannot move a terminal's cursor or pose as a prompt; otherwise the
// path goes out byte for byte.
void writeShownPath(std::ostream& out, std::string_view path, bool escapeControls);

// The same, as a string.
std::string shownPath(std::string_view path, bool escapeControls);

}  // namespace dupsieve
