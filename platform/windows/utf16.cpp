#include "platform/windows/utf16.h"

namespace dupsieve::windows {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void appendUtf8(char32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

void appendUtf16(char32_t code, std::u16string& out) {
  if (code < 0x10000) {
    out += static_cast<char16_t>(code);
    return;
  }
  code -= 0x10000;
  out += static_cast<char16_t>(0xD800 | (code >> 10));
  out += static_cast<char16_t>(0xDC00 | (code & 0x3FF));
}

// The length of the sequence that `lead` starts, 0 for a byte that cannot
// start one.
std::size_t sequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// Decodes the multi-byte sequence at `at`, which has `length` bytes; 0xFFFFFFFF when
// it is not well formed (a continuation byte missing, an overlong form, a
// value above U+10FFFF). Encoded surrogates are accepted: they are how an
// unpaired one travels.
char32_t decode(std::string_view utf8, std::size_t at, std::size_t length) {
  constexpr char32_t kInvalid = 0xFFFFFFFF;
  if (at + length > utf8.size()) return kInvalid;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(utf8[at + i]); };
  char32_t code = byte(0) & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return kInvalid;
    code = (code << 6) | (byte(i) & 0x3F);
  }
  constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[length] || code > 0x10FFFF) return kInvalid;
  return code;
}

}  // namespace

std::string utf8FromUtf16(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char32_t unit = utf16[i];
    if (isHighSurrogate(unit) && i + 1 < utf16.size() && isLowSurrogate(utf16[i + 1])) {
      appendUtf8(0x10000 + ((unit - 0xD800) << 10) + (utf16[i + 1] - 0xDC00), out);
      ++i;
    } else {
      appendUtf8(unit, out);
    }
  }
  return out;
}

std::u16string utf16FromUtf8(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    if (static_cast<unsigned char>(utf8[i]) < 0x80) {
      out += static_cast<char16_t>(utf8[i++]);
      continue;
    }
    const std::size_t length = sequenceLength(static_cast<unsigned char>(utf8[i]));
    const char32_t code = length == 0 ? 0xFFFFFFFF : decode(utf8, i, length);
    if (code == 0xFFFFFFFF) {
      out += static_cast<char16_t>(kReplacement);
      ++i;
      continue;
    }
    appendUtf16(code, out);
    i += length;
  }
  return out;
}

std::size_t completeUtf8Length(std::string_view utf8) {
  // Only the last three bytes can belong to a sequence still to be
  // completed; a lead byte among them whose sequence runs past the end marks
  // where the complete part ends.
  const std::size_t from = utf8.size() > 3 ? utf8.size() - 3 : 0;
  for (std::size_t i = utf8.size(); i > from; --i) {
    const auto byte = static_cast<unsigned char>(utf8[i - 1]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const std::size_t length = sequenceLength(byte);
    return length > 1 && i - 1 + length > utf8.size() ? i - 1 : utf8.size();
  }
  return utf8.size();
}

}  // namespace dupsieve::windows
