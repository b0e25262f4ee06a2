#pragma once

#include <cstdint>
#include <string>

namespace dupsieve {

// How every number on standard error is written, so that one line never
// reads "286080" beside another's "1,400,000,000".

// Decimal digits in groups of three: 0, 999, 1,000, 286,080.
std::string groupedNumber(std::uint64_t number);

// A number of bytes in decimal units (1 kB = 1,000 bytes), as disks and
// file managers count them: "512 bytes", "1 byte", "4.2 kB", "1.4 GB",
// "18 TB". Below 10 of a unit one decimal is shown, rounded to nearest.
std::string inHumanUnits(std::uint64_t bytes);

}  // namespace dupsieve
