#include "platform/windows/utf16.h"

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/windows/utf16_text_buffer.h"

namespace dupsieve::windows {
namespace {

std::string hex(std::u16string_view units) {
  std::ostringstream out;
  for (const char16_t unit : units) out << std::hex << static_cast<unsigned>(unit) << ' ';
  return out.str();
}

TEST(Utf16, NamesConvertBothWaysWithoutLoss) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"", u""},
      {"copy.txt", u"copy.txt"},
      {"\xc4\x81.txt", u"\u0101.txt"},                        // ā: two bytes
      {"\xce\xa9", u"\u03a9"},                                // Ω
      {"\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e", u"\u65e5\u672c\u8a9e"},  // 日本語: three bytes each
      {"\xef\xbf\xbf", u"\uffff"},
      {"\xf0\x9f\x93\xb7", u"\U0001F4F7"},                    // a surrogate pair: four bytes
      {"\xf4\x8f\xbf\xbf", u"\U0010FFFF"},
      // Unpaired surrogates, which Windows allows in names, keep their
      // three-byte form and come back as they were.
      {"a\xed\xa0\x80z", std::u16string(u"a") + char16_t(0xD800) + u"z"},
      {"\xed\xbf\xbf", std::u16string(1, char16_t(0xDFFF))},
      {"\xed\xb0\x80\xed\xa0\x80", std::u16string{char16_t(0xDC00), char16_t(0xD800)}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(hex(utf16FromUtf8(c.utf8)), hex(c.utf16)) << c.utf8;
    EXPECT_EQ(utf8FromUtf16(c.utf16), c.utf8) << hex(c.utf16);
  }
}

TEST(Utf16, MalformedBytesBecomeReplacementCharacters) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"\xff", u"\ufffd"},
      {"a\x80z", u"a\ufffdz"},            // a continuation byte alone
      {"\xc3", u"\ufffd"},                // cut short at the end
      {"\xc3z", u"\ufffdz"},              // cut short before another character
      {"\xc0\xaf", u"\ufffd\ufffd"},      // overlong "/"
      {"\xe0\x80\xaf", u"\ufffd\ufffd\ufffd"},
      {"\xf4\x90\x80\x80", u"\ufffd\ufffd\ufffd\ufffd"},  // above U+10FFFF
  };
  for (const Case& c : cases) EXPECT_EQ(hex(utf16FromUtf8(c.utf8)), hex(c.utf16)) << c.utf8;
}

TEST(Utf16, CompleteLengthLeavesOnlyACharacterCutAtTheEnd) {
  struct Case {
    std::string utf8;
    std::size_t complete;
  };
  const Case cases[] = {
      {"", 0},
      {"abc", 3},
      {"a\xe6\x97\xa5", 4},  // 日 whole
      {"a\xc4", 1},           // ā after one of its two bytes
      {"a\xe6", 1},           // 日 after one of its three bytes
      {"a\xe6\x97", 1},       // after two
      {"ab\xf0\x9f\x93", 2},  // a camera after three of its four bytes
      {"\xf0\x9f\x93\xb7", 4},
      {"a\x80", 2},           // malformed bytes wait for nothing
      {"a\xff", 2},
  };
  for (const Case& c : cases) EXPECT_EQ(completeUtf8Length(c.utf8), c.complete) << c.utf8;
}

TEST(Utf16TextBuffer, HandsOnWholeCharactersAtEachFlush) {
  std::vector<std::u16string> written;
  Utf16TextBuffer buffer([&](std::u16string_view text) {
    written.emplace_back(text);
    return true;
  });
  std::ostream out(&buffer);

  out << "Delete \xe6\x97" << std::flush;  // 日 cut after two of its bytes
  out << "\xa5.txt ? (y/other): " << std::flush;
  out << std::flush;                       // nothing new: nothing written
  out.put('\xce').put('\xa9') << '\n' << std::flush;

  EXPECT_EQ(written, (std::vector<std::u16string>{u"Delete ", u"\u65e5.txt ? (y/other): ",
                                                  u"\u03a9\n"}));
}

TEST(Utf16TextBuffer, AFailedWriteFailsTheStreamAndWhatIsLeftIsWrittenAtTheEnd) {
  std::u16string shown;
  bool accept = false;
  {
    Utf16TextBuffer buffer([&](std::u16string_view text) {
      if (accept) shown += text;
      return accept;
    });
    std::ostream out(&buffer);
    out << "lost" << std::flush;
    EXPECT_TRUE(out.bad());
    accept = true;
    out.clear();
    out << "kept";  // not flushed: the buffer writes it when it goes
  }
  EXPECT_EQ(shown, u"kept");
}

}  // namespace
}  // namespace dupsieve::windows
