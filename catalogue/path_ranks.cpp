#include "catalogue/path_ranks.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace dupsieve {

PathRanks::PathRanks(const std::vector<FileRecord>& files) {
  for (const FileRecord& record : files) {
    // Neighbours mostly share a directory.
    if (ranked_.empty() || ranked_.back() != &record.listedDirectory()) {
      ranked_.push_back(&record.listedDirectory());
    }
  }
  std::sort(ranked_.begin(), ranked_.end());
  ranked_.erase(std::unique(ranked_.begin(), ranked_.end()), ranked_.end());
  std::sort(ranked_.begin(), ranked_.end(), [](const ListedDirectory* a, const ListedDirectory* b) {
    return a->prefix() < b->prefix();
  });

  // The prefixes that start with a given one follow it in this order, up to
  // the first that does not: each waits on the stack until that one comes.
  std::vector<const ListedDirectory*> open;
  std::uint32_t place = 0;
  const auto closeUnless = [&open, &place](std::string_view next, bool all) {
    while (!open.empty() && (all || !next.starts_with(open.back()->prefix()))) {
      open.back()->rankPath({open.back()->pathRank().place, place});
      open.pop_back();
    }
  };
  for (std::size_t k = 0; k < ranked_.size(); ++k) {
    const std::string_view prefix = ranked_[k]->prefix();
    if (k == 0 || prefix != ranked_[k - 1]->prefix()) {
      closeUnless(prefix, false);
      ++place;
    } else {
      prefixListedTwice_ = true;
    }
    ranked_[k]->rankPath({place, place});
    open.push_back(ranked_[k]);
  }
  closeUnless({}, true);
}

PathRanks::~PathRanks() {
  for (const ListedDirectory* directory : ranked_) directory->rankPath({});
}

}  // namespace dupsieve
