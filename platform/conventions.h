#pragma once

#include <string>
#include <string_view>

namespace dupsieve {

// How this system names things, for the hints that a person reads.

// Where the manual is: "man dupsieve" where it is installed as a manual
// page; on Windows the path of the dupsieve.html that stands beside the
// program.
std::string manualReference();

// True for a single name relative to the current folder of a drive
// ("D:photos", "D:*.*"), which the walk does not search: Windows alone has
// them.
bool isDriveRelative(std::string_view path);

}  // namespace dupsieve
