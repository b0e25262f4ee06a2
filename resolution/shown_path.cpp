#include "resolution/shown_path.h"

#include <sstream>

namespace dupsieve {
namespace {

bool isControl(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

void writeEscaped(std::ostream& out, unsigned char byte) {
  switch (byte) {
    case '\a': out << "\\a"; return;
    case '\b': out << "\\b"; return;
    case '\t': out << "\\t"; return;
    case '\n': out << "\\n"; return;
    case '\v': out << "\\v"; return;
    case '\f': out << "\\f"; return;
    case '\r': out << "\\r"; return;
    default: break;
  }
  constexpr char kHex[] = "0123456789abcdef";
  const char escape[] = {'\\', 'x', kHex[byte >> 4], kHex[byte & 0x0F]};
  out.write(escape, sizeof escape);
}

}  // namespace

void writeShownPath(std::ostream& out, std::string_view path, bool escapeControls) {
  if (!escapeControls) {
    out.write(path.data(), static_cast<std::streamsize>(path.size()));
    return;
  }
  std::size_t plainFrom = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto byte = static_cast<unsigned char>(path[i]);
    if (!isControl(byte)) continue;
    out.write(path.data() + plainFrom, static_cast<std::streamsize>(i - plainFrom));
    writeEscaped(out, byte);
    plainFrom = i + 1;
  }
  out.write(path.data() + plainFrom, static_cast<std::streamsize>(path.size() - plainFrom));
}

std::string shownPath(std::string_view path, bool escapeControls) {
  std::ostringstream out;
  writeShownPath(out, path, escapeControls);
  return std::move(out).str();
}

}  // namespace dupsieve
