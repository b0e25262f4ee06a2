#include "narrowing/repeated_registrations.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "catalogue/path_ranks.h"
#include "narrowing/sort_beside.h"

namespace dupsieve {
namespace {

struct DirectoryIdHash {
  std::size_t operator()(const DirectoryId& id) const noexcept {
    return std::hash<std::uint64_t>{}(id.inode * 0x9E3779B97F4A7C15ull ^ id.device);
  }
};

// The entry a record names: its directory's identity and its own name.
struct EntryKey {
  DirectoryId directory;
  std::string_view name;
  friend bool operator==(const EntryKey&, const EntryKey&) = default;
};

struct EntryKeyHash {
  std::size_t operator()(const EntryKey& key) const noexcept {
    return DirectoryIdHash{}(key.directory) ^ std::hash<std::string_view>{}(key.name);
  }
};

// A directory whose identity could not be read says nothing about which
// entries it holds: two such directories must not pass for one.
bool isKnown(const DirectoryId& id) { return id != DirectoryId{}; }

// Directories whose entries were reached under two or more different path
// prefixes. Almost always none, so the entry-by-entry check below is paid
// only where two spellings of a directory really met.
std::unordered_set<DirectoryId, DirectoryIdHash> directoriesWithSeveralSpellings(
    const std::vector<FileRecord>& files) {
  std::unordered_map<DirectoryId, std::string_view, DirectoryIdHash> spelling;
  std::unordered_set<DirectoryId, DirectoryIdHash> several;
  const FileRecord* previous = nullptr;
  std::string_view previousPrefix;
  for (const FileRecord& record : files) {
    if (!isKnown(record.directory())) continue;
    const std::string_view prefix = record.directoryPart();
    // Neighbours mostly share a directory; skip the lookup for them.
    if (previous != nullptr &&
        (previous->sameListedDirectory(record) ||
         (previous->directory() == record.directory() && previousPrefix == prefix))) {
      continue;
    }
    const auto [known, inserted] = spelling.try_emplace(record.directory(), prefix);
    if (!inserted && known->second != prefix) several.insert(record.directory());
    previous = &record;
    previousPrefix = prefix;
  }
  return several;
}

// Puts the records in the order the stage leaves them (see the header).
void putInOrder(std::vector<FileRecord>& files, bool listedTwice) {
  if (listedTwice) {
    // A directory listed twice may have changed in between: its files'
    // second registrations are found by path alone.
    stableSortInPlace(files, std::less<>{});
    return;
  }
  // Each directory was listed once, so a path can repeat only within one
  // listing, at the same size unless the file changed between its two
  // lookups. Ascending size, then path, puts such repeats side by side and
  // is the order the next stage leaves: it has nothing to sort then. A file
  // no other file of its size was listed with needs no place in it, since
  // the next stage drops every such file.
  const auto bySizeThenPath = [](const FileRecord& a, const FileRecord& b) {
    return a.size != b.size ? a.size < b.size : a < b;
  };
  stableSortInPlace(files, bySizeThenPath,
                    [](const FileRecord& record) { return record.aloneInItsSize(); });
}

}  // namespace

void removeRepeatedRegistrations(std::vector<FileRecord>& files) {
  if (files.size() < 2) return;
  const auto several = directoriesWithSeveralSpellings(files);
  // Mark first, then compact: the views into names stay valid while
  // marking, and the directories stay ranked only while no record goes.
  std::vector<bool> repeat(files.size(), false);
  {
    const PathRanks ranks(files);
    putInOrder(files, !several.empty() || ranks.somePrefixListedTwice());
    std::unordered_set<EntryKey, EntryKeyHash> seenEntries;
    for (std::size_t i = 0; i < files.size(); ++i) {
      const FileRecord& record = files[i];
      if (i > 0 && files[i - 1] == record) {
        repeat[i] = true;
      } else if (several.contains(record.directory())) {
        const EntryKey key{record.directory(), record.name()};
        repeat[i] = !seenEntries.insert(key).second;
      }
    }
  }

  std::size_t kept = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (repeat[i]) continue;
    if (kept != i) files[kept] = std::move(files[i]);
    ++kept;
  }
  files.erase(files.begin() + static_cast<std::ptrdiff_t>(kept), files.end());
}

}  // namespace dupsieve
