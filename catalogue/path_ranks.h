#pragma once

#include <vector>

#include "catalogue/file_record.h"

namespace dupsieve {

// While it lives, the directories that `files` were listed in know where
// their prefixes stand among one another, so that comparing the paths of
// two records (CompareMode::ByPath) of different directories mostly
// compares two numbers instead of two long prefixes, with the same result.
// Nothing else may rank them meanwhile; the files may be reordered, but not
// added to or removed.
class PathRanks {
 public:
  explicit PathRanks(const std::vector<FileRecord>& files);
  PathRanks(const PathRanks&) = delete;
  PathRanks& operator=(const PathRanks&) = delete;
  ~PathRanks();

  // Whether two listings share one prefix: one directory listed twice by
  // the same path, or one listing whose names filled more than one holder.
  bool somePrefixListedTwice() const { return prefixListedTwice_; }

 private:
  std::vector<const ListedDirectory*> ranked_;
  bool prefixListedTwice_ = false;
};

}  // namespace dupsieve
