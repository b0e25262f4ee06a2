#include "catalogue/directory_walker.h"

#include <memory>
#include <string_view>

#include "platform/path_parts.h"

namespace dupsieve {
namespace {

constexpr std::string_view kEveryEntry = "/*.*";

// ".", ".." and names made only of dots are never recorded or descended.
bool isDotsOnly(std::string_view name) {
  return name.find_first_not_of('.') == std::string_view::npos;
}

// A listing, the length of the path prefix that its entries' names join,
// and, once a file of it is recorded, what its records share.
struct Level {
  std::unique_ptr<DirectoryListing> listing;
  std::size_t prefixEnd;
  std::shared_ptr<ListedDirectory> recorded;
};

}  // namespace

void DirectoryWalker::operator()(std::string pattern) const {
  // A listing yields "." under its own name, which is never descended: the
  // current or parent directory asked for by name is listed directly.
  const std::string_view last = splitAtLastSlash(pattern).name;
  if (recurse_ && (last == "." || last == "..")) pattern += kEveryEntry;

  std::unique_ptr<DirectoryListing> top = fileSystem_->findFirst(pattern);
  if (!top) return;
  // One prefix buffer for the whole walk, cut back to each level's length.
  std::string prefix = pattern;
  prefix.resize(splitAtLastSlash(pattern).directory.size());

  // An explicit stack rather than recursion: a tree reached through
  // descriptors can be deeper than any call stack.
  std::vector<Level> levels;
  levels.push_back({std::move(top), prefix.size(), nullptr});
  bool positioned = true;  // a new listing stands on its first entry already
  while (!levels.empty()) {
    Level& level = levels.back();
    if (!positioned && !level.listing->next()) {
      if (level.recorded) level.recorded->settle();
      levels.pop_back();
      continue;
    }
    positioned = false;
    prefix.resize(level.prefixEnd);
    const DirectoryEntry& entry = level.listing->entry();
    if (isDotsOnly(entry.name)) continue;

    if (recurse_ && (entry.attributes & kAttributeDirectory) != 0) {
      if (auto below = level.listing->openSubdirectory()) {
        prefix += entry.name;
        prefix += '/';
        levels.push_back({std::move(below), prefix.size(), nullptr});
        positioned = true;
      }
      continue;
    }
    if ((entry.attributes & (kAttributeHidden | kAttributeSystem)) != 0) continue;
    if (!includeEmpty_ && entry.size == 0) continue;

    if (!level.recorded) {
      level.recorded = std::make_shared<ListedDirectory>(prefix, level.listing->directory());
    }
    files_->emplace_back(level.recorded, entry.name, entry.size, entry.inode, entry.device);
    if (files_->size() % kProgressStep == 0) progress_->filesFound(files_->size());
  }
}

}  // namespace dupsieve
