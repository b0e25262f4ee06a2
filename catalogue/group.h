#pragma once

#include <vector>

#include "catalogue/file_record.h"

namespace dupsieve {

// A group of doubtful files: two or more records of equal size and digest,
// in ascending path order.
using Group = std::vector<FileRecord>;

}  // namespace dupsieve
