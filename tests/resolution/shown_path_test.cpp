#include "resolution/shown_path.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <string_view>

namespace dupsieve {
namespace {

std::string shown(std::string_view path, bool escapeControls) {
  std::ostringstream out;
  writeShownPath(out, path, escapeControls);
  return out.str();
}

// Bytes that some terminal acts on: C0 controls, DEL, and 0x80-0x9F, which
// an 8-bit terminal takes for C1 controls.
bool holdsControlByte(const std::string& text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte <= 0x9F)) return true;
  }
  return false;
}

TEST(ShownPath, EscapesWhatATerminalWouldActOnOnlyWhenAsked) {
  struct Case {
    std::string path;
    std::string escaped;
  };
  const Case cases[] = {
      {"photos/2003/b.jpg", "photos/2003/b.jpg"},
      {"my file.txt", "my file.txt"},
      {"a\tb", "a\\tb"},
      {"a\nb", "a\\nb"},
      {"a\rb", "a\\rb"},
      {"\x1b[2Jgone", "\\x1b[2Jgone"},
      {"del\x7f", "del\\x7f"},
      {"\x01\x1f", "\\x01\\x1f"},
      {"\n\n", "\\n\\n"},
      {"line\nDelete x ? (y/other): ", "line\\nDelete x ? (y/other): "},
      // a backslash is escaped, so a name holding "\n" differs from a newline
      {"a\\nb", "a\\\\nb"},
      {"back\\slash~", "back\\\\slash~"},
      // 8-bit controls standing alone, 8-bit CSI first among them
      {"x\x9b" "2Jy", "x\\x9b2Jy"},
      {"\x80\x9f", "\\x80\\x9f"},
      // UTF-8 C1 controls, and bidirectional overrides and isolates
      {"x\xc2\x9b" "2J", "x\\u009b2J"},
      {"\xc2\x80\xc2\x9f", "\\u0080\\u009f"},
      {"invoice\xe2\x80\xaetxt.exe", "invoice\\u202etxt.exe"},
      {"\xe2\x80\xaa\xe2\x80\xab\xe2\x80\xac\xe2\x80\xad", "\\u202a\\u202b\\u202c\\u202d"},
      {"\xe2\x81\xa6x\xe2\x81\xa9", "\\u2066x\\u2069"},
      // UTF-8 letters read naturally, continuation bytes 0x80-0x9F included
      {"caf\xc3\xa9", "caf\xc3\xa9"},
      {"\xd0\x9f\xd1\x80\xd0\xb8", "\xd0\x9f\xd1\x80\xd0\xb8"},              // Cyrillic
      {"\xe2\x82\xac 5", "\xe2\x82\xac 5"},                                  // euro sign
      {"\xe2\x80\x8f\xe2\x80\xaf", "\xe2\x80\x8f\xe2\x80\xaf"},              // U+200F, U+202F
      {"\xe2\x81\xa5\xe2\x81\xaa", "\xe2\x81\xa5\xe2\x81\xaa"},              // U+2065, U+206A
      {"\xf0\x9f\x93\xb7.jpg", "\xf0\x9f\x93\xb7.jpg"},                      // a camera
      {"\xc2\xa0nbsp", "\xc2\xa0nbsp"},
      // other encodings keep their letters; a byte that only starts a
      // character is not one
      {"caf\xe9", "caf\xe9"},
      {"\xff\xfe.bin", "\xff\xfe.bin"},
      {"\xe2\x80", "\xe2\\x80"},
      {"\xc2", "\xc2"},
      {"\xc0\x9b", "\xc0\\x9b"},  // overlong: not UTF-8, so the 0x9b stands alone
      {"\xed\xa0\x9b", "\xed\xa0\\x9b"},  // nor is a surrogate
      {"\xe0\x9b\x80", "\xe0\\x9b\\x80"},  // nor a three-byte overlong form
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(shown(c.path, true), c.escaped) << "path: " << c.path;
    EXPECT_EQ(shown(c.path, false), c.path) << "path: " << c.path;
  }
}

TEST(ShownPath, EveryByteIsEitherKeptOrEscapedIntoPrintableText) {
  for (int value = 0; value < 256; ++value) {
    const std::string path = std::string("x") + static_cast<char>(value) + "y";
    const bool escaped = value < 0x20 || value == 0x7F || value == '\\' ||
                         (value >= 0x80 && value <= 0x9F);

    const std::string shownOnTerminal = shown(path, true);
    EXPECT_FALSE(holdsControlByte(shownOnTerminal)) << "byte " << value;
    if (escaped) {
      EXPECT_EQ(shownOnTerminal.substr(0, 2), "x\\") << "byte " << value;
      EXPECT_EQ(shownOnTerminal.back(), 'y') << "byte " << value;
      EXPECT_GT(shownOnTerminal.size(), path.size()) << "byte " << value;
    } else {
      EXPECT_EQ(shownOnTerminal, path) << "byte " << value;
    }
    EXPECT_EQ(shown(path, false), path) << "byte " << value;
  }
}

}  // namespace
}  // namespace dupsieve
