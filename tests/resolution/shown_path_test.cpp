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

bool holdsControlByte(const std::string& text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

TEST(ShownPath, EscapesControlBytesOnlyWhenAsked) {
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
      {"caf\xc3\xa9/\x80\xff", "caf\xc3\xa9/\x80\xff"},
      {"back\\slash~", "back\\slash~"},
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
    const bool control = value < 0x20 || value == 0x7F;

    const std::string escaped = shown(path, true);
    if (control) {
      EXPECT_FALSE(holdsControlByte(escaped)) << "byte " << value;
      EXPECT_EQ(escaped.substr(0, 2), "x\\") << "byte " << value;
      EXPECT_EQ(escaped.back(), 'y') << "byte " << value;
      EXPECT_GT(escaped.size(), path.size()) << "byte " << value;
    } else {
      EXPECT_EQ(escaped, path) << "byte " << value;
    }
    EXPECT_EQ(shown(path, false), path) << "byte " << value;
  }
}

}  // namespace
}  // namespace dupsieve
