#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace dupsieve {

// Writes a path for the user to read. With `escapeControls` (a terminal),
// whatever a terminal would act on rather than show is written as an
// escape, so that a file name cannot move the cursor, pose as a prompt or
// turn its own text around:
// - bytes below 0x20 and 0x7F as \a \b \t \n \v \f \r or \xNN;
// - bytes 0x80 to 0x9F that are not part of a UTF-8 character (8-bit
//   controls such as 0x9B, a control sequence introducer) as \xNN;
// - the UTF-8 characters U+0080 to U+009F and the bidirectional overrides
//   and isolates U+202A to U+202E and U+2066 to U+2069 as \uNNNN;
// - the backslash as \\, so that an escape and the same text in a name
//   never look alike.
// Every other byte is written as it is: UTF-8 names read naturally, and
// names in other encodings keep their letters. Without `escapeControls` the
// path goes out byte for byte.
void writeShownPath(std::ostream& out, std::string_view path, bool escapeControls);

// The same, as a string.
std::string shownPath(std::string_view path, bool escapeControls);

}  // namespace dupsieve
