#include "catalogue/directory_walker.h"

#include <string_view>

namespace dupsieve {
namespace {

constexpr std::string_view kEveryEntry = "/*.*";

std::size_t prefixLength(const std::string& pattern) {
  const auto slash = pattern.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

// ".", ".." and names made only of dots are never recorded or descended.
bool isDotsOnly(std::string_view name) {
  return name.find_first_not_of('.') == std::string_view::npos;
}

}  // namespace

void DirectoryWalker::operator()(std::string pattern) const {
  // A listing yields "." under its own name, which is never descended: the
  // current or parent directory asked for by name is listed directly.
  const std::string_view last = std::string_view(pattern).substr(prefixLength(pattern));
  if (recurse_ && (last == "." || last == "..")) pattern += kEveryEntry;
  walk(pattern);
}

void DirectoryWalker::walk(std::string& pattern) const {
  auto listing = fileSystem_->findFirst(pattern);
  if (!listing) return;

  const std::size_t prefixEnd = prefixLength(pattern);
  do {
    const DirectoryEntry& entry = listing->entry();
    if (isDotsOnly(entry.name)) continue;

    if (recurse_ && (entry.attributes & kAttributeDirectory) != 0) {
      pattern.resize(prefixEnd);
      pattern += entry.name;
      pattern += kEveryEntry;
      walk(pattern);
      continue;
    }
    if ((entry.attributes & (kAttributeHidden | kAttributeSystem)) != 0) continue;
    if (!includeEmpty_ && entry.size == 0) continue;

    std::string path;
    path.reserve(prefixEnd + entry.name.size());
    path.append(pattern, 0, prefixEnd).append(entry.name);
    files_->emplace_back(std::move(path), entry.size, listing->directory(), entry.inode);
    if (files_->size() % kProgressStep == 0) progress_->filesFound(files_->size());
  } while (listing->next());
}

}  // namespace dupsieve
