#include "resolution/shown_path.h"

#include <sstream>

namespace dupsieve {
namespace {

constexpr char kHex[] = "0123456789abcdef";

bool isContinuation(unsigned char byte, unsigned char low = 0x80, unsigned char high = 0xBF) {
  return byte >= low && byte <= high;
}

// The length of the well-formed UTF-8 character that starts at `at`, and
// its code point; 0 when the bytes there are not one.
std::size_t decodeUtf8(std::string_view text, std::size_t at, char32_t& codePoint) {
  const auto byte = [&](std::size_t k) {
    return at + k < text.size() ? static_cast<unsigned char>(text[at + k]) : 0;
  };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80;  // the second byte's range depends on the lead
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (!isContinuation(byte(1), low, high)) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (!isContinuation(byte(k))) return 0;
  }
  codePoint = lead & (0xFF >> (length + 1));
  for (std::size_t k = 1; k < length; ++k) codePoint = (codePoint << 6) | (byte(k) & 0x3F);
  return length;
}

// Characters a terminal acts on rather than shows: the C1 controls, and
// the bidirectional embeddings, overrides and isolates, which make text
// read in another order than it is stored ("invoice<U+202E>txt.exe").
bool actsOnTerminal(char32_t codePoint) {
  return (codePoint >= 0x80 && codePoint <= 0x9F) || (codePoint >= 0x202A && codePoint <= 0x202E) ||
         (codePoint >= 0x2066 && codePoint <= 0x2069);
}

void writeEscapedByte(std::ostream& out, unsigned char byte) {
  switch (byte) {
    case '\a': out << "\\a"; return;
    case '\b': out << "\\b"; return;
    case '\t': out << "\\t"; return;
    case '\n': out << "\\n"; return;
    case '\v': out << "\\v"; return;
    case '\f': out << "\\f"; return;
    case '\r': out << "\\r"; return;
    case '\\': out << "\\\\"; return;
    default: break;
  }
  const char escape[] = {'\\', 'x', kHex[byte >> 4], kHex[byte & 0x0F]};
  out.write(escape, sizeof escape);
}

void writeEscapedCharacter(std::ostream& out, char32_t codePoint) {
  const char escape[] = {'\\',
                         'u',
                         kHex[(codePoint >> 12) & 0x0F],
                         kHex[(codePoint >> 8) & 0x0F],
                         kHex[(codePoint >> 4) & 0x0F],
                         kHex[codePoint & 0x0F]};
  out.write(escape, sizeof escape);
}

}  // namespace

void writeShownPath(std::ostream& out, std::string_view path, bool escapeControls) {
  if (!escapeControls) {
    out.write(path.data(), static_cast<std::streamsize>(path.size()));
    return;
  }
  std::size_t plainFrom = 0;
  const auto writePlain = [&](std::size_t upTo) {
    out.write(path.data() + plainFrom, static_cast<std::streamsize>(upTo - plainFrom));
  };
  for (std::size_t i = 0; i < path.size();) {
    const auto byte = static_cast<unsigned char>(path[i]);
    if (byte < 0x80) {
      if (byte < 0x20 || byte == 0x7F || byte == '\\') {
        writePlain(i);
        writeEscapedByte(out, byte);
        plainFrom = i + 1;
      }
      ++i;
      continue;
    }
    char32_t codePoint = 0;
    if (const std::size_t length = decodeUtf8(path, i, codePoint); length > 0) {
      if (actsOnTerminal(codePoint)) {
        writePlain(i);
        writeEscapedCharacter(out, codePoint);
        plainFrom = i + length;
      }
      i += length;
      continue;
    }
    // Not UTF-8: a byte of another encoding, shown as it is, unless an
    // 8-bit terminal would take it for a control.
    if (byte <= 0x9F) {
      writePlain(i);
      writeEscapedByte(out, byte);
      plainFrom = i + 1;
    }
    ++i;
  }
  writePlain(path.size());
}

std::string shownPath(std::string_view path, bool escapeControls) {
  std::ostringstream out;
  writeShownPath(out, path, escapeControls);
  return std::move(out).str();
}

}  // namespace dupsieve
