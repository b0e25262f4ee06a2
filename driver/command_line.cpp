#include "driver/command_line.h"

#include <algorithm>
#include <locale>
#include <sstream>

namespace dupsieve {
namespace {

// Reads a signed decimal number the way formatted stream input does (leading
// blanks skipped, reading stops at the first character that cannot continue
// it); a failed read or a value out of range leaves the block size alone.
void readBlockSize(std::string_view text, std::int32_t& blockSize) {
  std::istringstream stream{std::string(text)};
  stream.imbue(std::locale::classic());
  std::int32_t value = 0;
  if (stream >> value) blockSize = value;
}

}  // namespace

std::string normaliseOperand(std::string_view operand) {
  std::string result(operand);
  std::replace(result.begin(), result.end(), '\\', '/');
  if (!result.empty() && result.back() == '/') result.pop_back();
  return result;
}

Settings readCommandLine(std::span<const std::string_view> arguments) {
  Settings settings;
  for (const std::string_view argument : arguments) {
    if (argument.empty() || argument.front() != '-') {
      settings.startDirectories.push_back(normaliseOperand(argument));
      continue;
    }
    settings.options.emplace_back(argument);
    if (argument.size() < 2) continue;
    switch (argument[1]) {
      case 'b': readBlockSize(argument.substr(2), settings.blockSize); break;
      case 'r': settings.recurse = true; break;
      case 'z': settings.includeEmpty = true; break;
      default: break;
    }
  }
  if (settings.startDirectories.empty()) settings.startDirectories.emplace_back(".");
  return settings;
}

}  // namespace dupsieve
