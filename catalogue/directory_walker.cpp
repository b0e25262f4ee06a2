#include "catalogue/directory_walker.h"

#include <memory>
#include <string_view>
#include <utility>

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

// Hidden and system entries are passed over, and empty files unless asked for.
bool isRecorded(const DirectoryEntry& entry, bool includeEmpty) {
  if ((entry.attributes & (kAttributeHidden | kAttributeSystem)) != 0) return false;
  return includeEmpty || entry.size != 0;
}

// Stands on the next entry of the innermost listing, closing the listings
// that have ended; false once every listing has. A listing just opened
// stands on its first entry already.
bool standOnNextEntry(std::vector<Level>& levels, bool& positioned) {
  while (!levels.empty()) {
    if (std::exchange(positioned, false) || levels.back().listing->next()) return true;
    if (levels.back().recorded) levels.back().recorded->settle();
    levels.pop_back();
  }
  return false;
}

// Opens the subdirectory that the innermost listing stands on, through that
// listing, as a new level; false when it cannot be opened.
bool descend(std::vector<Level>& levels, std::string& prefix) {
  DirectoryListing& listing = *levels.back().listing;
  std::unique_ptr<DirectoryListing> below = listing.openSubdirectory();
  if (!below) return false;
  prefix += listing.entry().name;
  prefix += '/';
  levels.push_back({std::move(below), prefix.size(), nullptr});
  return true;
}

}  // namespace

void DirectoryWalker::operator()(std::string pattern) const {
  // A listing yields "." under its own name, which is never descended: the
  // current or parent directory asked for by name is listed directly.
  const std::string_view last = splitAtLastSlash(pattern).name;
  if (recurse_ && (last == "." || last == "..")) pattern += kEveryEntry;

  std::unique_ptr<DirectoryListing> top = fileSystem_->findFirst(pattern);
  if (!top) return;
  // One prefix buffer for the whole walk, cut back to each level's length.
  std::string prefix(splitAtLastSlash(pattern).directory);

  // An explicit stack rather than recursion: a tree reached through
  // descriptors can be deeper than any call stack.
  std::vector<Level> levels;
  levels.push_back({std::move(top), prefix.size(), nullptr});
  bool positioned = true;
  while (standOnNextEntry(levels, positioned)) {
    Level& level = levels.back();
    prefix.resize(level.prefixEnd);
    const DirectoryEntry& entry = level.listing->entry();
    if (isDotsOnly(entry.name)) continue;
    if (recurse_ && (entry.attributes & kAttributeDirectory) != 0) {
      positioned = descend(levels, prefix);
    } else if (isRecorded(entry, includeEmpty_)) {
      if (!level.recorded || !level.recorded->hasRoomFor(entry.name)) {
        if (level.recorded) level.recorded->settle();
        level.recorded = std::make_shared<ListedDirectory>(prefix, level.listing->directory());
      }
      files_->emplace_back(level.recorded, entry.name, entry.size, entry.inode, entry.device,
                           entry.modified, entry.born);
      if (ahead_ != nullptr) ahead_->recorded(files_->size() - 1);
      if (files_->size() % kProgressStep == 0) progress_->filesFound(files_->size());
    }
  }
}

}  // namespace dupsieve
