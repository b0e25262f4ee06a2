#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/file_record.h"
#include "tests/support/fake_file_system.h"

namespace dupsieve::testing {

// A record for `path`, split at its last "/", as a listing of `holder`
// would make it. The entry's device is its directory's unless given.
FileRecord recordAt(std::string_view path, std::uint64_t size, DirectoryId holder = {},
                    std::uint64_t inode = 0);
FileRecord recordAt(std::string_view path, std::uint64_t size, DirectoryId holder,
                    std::uint64_t inode, std::uint64_t device);

// The record the walk would have made for the fake's entry at `path`, with
// the digest the grouping stage left in it (0 when it came out 0 there).
FileRecord listedRecord(FakeFileSystem& fake, const std::string& path, std::uint32_t digest = 0);

// A group made by hand, which holds its members (a run's groups are views
// of its candidate list).
using OwnedGroup = std::vector<FileRecord>;

}  // namespace dupsieve::testing
