#include "catalogue/file_record.h"

#include <algorithm>
#include <utility>

namespace dupsieve {
namespace {

// Compares the joined byte strings a1+a2 and b1+b2 without joining them.
// char_traits<char> compares as unsigned char, as std::string does: bytes
// from 128 upward follow all of ASCII.
int compareJoined(std::string_view a1, std::string_view a2, std::string_view b1,
                  std::string_view b2) {
  // Each round uses up at least one first part, and a used-up first part
  // gives way to its second: four rounds at most.
  for (;;) {
    if (a1.empty()) std::swap(a1, a2);
    if (b1.empty()) std::swap(b1, b2);
    if (a1.empty() || b1.empty()) return a1.empty() ? (b1.empty() ? 0 : -1) : 1;
    const std::size_t n = std::min(a1.size(), b1.size());
    if (const int order = std::char_traits<char>::compare(a1.data(), b1.data(), n); order != 0) {
      return order;
    }
    a1.remove_prefix(n);
    b1.remove_prefix(n);
  }
}

int comparePaths(const FileRecord& a, const FileRecord& b) {
  // Records of one listing share the prefix: only the names differ.
  if (a.sameListedDirectory(b)) return a.name().compare(b.name());
  // Ranked prefixes: equal places are equal prefixes, and a prefix that
  // the other does not start with orders every path under it as it orders
  // the prefixes themselves. Only a prefix and one under it need the bytes.
  const ListedDirectory::PathRank ra = a.listedDirectory().pathRank();
  const ListedDirectory::PathRank rb = b.listedDirectory().pathRank();
  if (ra.place != 0 && rb.place != 0) {
    if (ra.place == rb.place) return a.name().compare(b.name());
    if (ra.place < rb.place && rb.place > ra.lastUnder) return -1;
    if (rb.place < ra.place && ra.place > rb.lastUnder) return 1;
  }
  return compareJoined(a.directoryPart(), a.name(), b.directoryPart(), b.name());
}

}  // namespace

FileRecord::FileRecord(const std::shared_ptr<ListedDirectory>& holder, std::string_view name,
                       std::uint64_t recordSize, std::uint64_t entryInode,
                       std::uint64_t entryDevice, std::uint64_t entryModified,
                       std::uint64_t entryBorn)
    : size(recordSize),
      inode(entryInode),
      modified(entryModified),
      born(entryBorn),
      place_(holder->keep(name, entryDevice)),
      holder_(holder) {}

std::string FileRecord::path() const {
  const std::string_view own = name();
  std::string joined;
  joined.reserve(directoryPart().size() + own.size());
  joined.append(directoryPart()).append(own);
  return joined;
}

bool operator<(const FileRecord& a, const FileRecord& b) {
  if (compareMode != CompareMode::BySizeAndDigest) return comparePaths(a, b) < 0;
  if (a.size != b.size) return a.size < b.size;
  return a.digest < b.digest;
}

bool operator==(const FileRecord& a, const FileRecord& b) {
  if (compareMode != CompareMode::BySizeAndDigest) {
    if (a.sameListedDirectory(b)) return a.name() == b.name();
    return a.directoryPart().size() + a.name().size() ==
               b.directoryPart().size() + b.name().size() &&
           comparePaths(a, b) == 0;
  }
  return a.size == b.size && a.digest == b.digest;
}

}  // namespace dupsieve
