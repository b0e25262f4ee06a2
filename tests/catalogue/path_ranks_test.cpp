#include "catalogue/path_ranks.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "catalogue/compare_mode.h"

namespace dupsieve {
namespace {

TEST(PathRanks, OrderPathsAsTheirBytesDoAndAreGoneAfterwards) {
  // Prefixes nested, equal in two listings, sharing a start, empty; names
  // that sort before and after a subdirectory's own name and past ASCII.
  const std::vector<std::string> prefixes = {"a/", "a/b/", "a/b/c/", "a/b-c/", "a/", "", "a/\xc3\xa9/", "b/", "a/bb/"};
  const std::vector<std::string> names = {"b", "b-", "c", "a", "bb", "\xc3\xa9", "0"};
  std::vector<FileRecord> files;
  for (const std::string& prefix : prefixes) {
    const auto listed = std::make_shared<ListedDirectory>(prefix, DirectoryId{});
    for (const std::string& name : names) files.emplace_back(listed, name, 1, 0, 0);
  }
  compareMode = CompareMode::ByPath;
  {
    const PathRanks ranks(files);
    for (const FileRecord& a : files) {
      for (const FileRecord& b : files) {
        const std::string pa = a.path(), pb = b.path();
        EXPECT_EQ((a < b) - (b < a), (pa < pb) - (pb < pa)) << pa << " " << pb;
      }
    }
  }
  compareMode = CompareMode::BySizeAndDigest;
  EXPECT_EQ(files.front().listedDirectory().pathRank().place, 0u);
}

}  // namespace
}  // namespace dupsieve
