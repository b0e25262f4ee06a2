#include "resolution/number_text.h"

#include <array>
#include <string_view>

namespace dupsieve {

std::string groupedNumber(std::uint64_t number) {
  const std::string digits = std::to_string(number);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

std::string inHumanUnits(std::uint64_t bytes) {
  if (bytes < 1000) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  constexpr std::array<std::string_view, 6> kUnits{"kB", "MB", "GB", "TB", "PB", "EB"};
  // The largest unit that leaves at least 1 of it; tenths rounded to nearest
  // in integers, as a double would blur the last digits of large sizes. A
  // value that rounds up to 1000 of a unit is shown as 1.0 of the next one.
  std::size_t unitIndex = 0;
  std::uint64_t unit = 1000;
  while (unitIndex + 1 < kUnits.size() && bytes / unit >= 1000) {
    unit *= 1000;
    ++unitIndex;
  }
  const std::string unitText(kUnits[unitIndex]);
  const std::uint64_t tenth = unit / 10;
  const std::uint64_t tenths = bytes / tenth + (bytes % tenth >= tenth / 2 ? 1 : 0);
  if (tenths < 100) {
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " " + unitText;
  }
  const std::uint64_t whole = bytes / unit + (bytes % unit >= unit / 2 ? 1 : 0);
  if (whole >= 1000 && unitIndex + 1 < kUnits.size()) {
    return "1.0 " + std::string(kUnits[unitIndex + 1]);
  }
  return std::to_string(whole) + " " + unitText;
}

}  // namespace dupsieve
