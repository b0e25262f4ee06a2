#include "platform/conventions.h"

namespace dupsieve {

std::string manualReference() { return "man dupsieve"; }

bool isDriveRelative(std::string_view /*path*/) { return false; }

}  // namespace dupsieve
