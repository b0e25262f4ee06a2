#include "catalogue/file_record.h"

#include <algorithm>

namespace dupsieve {
namespace {

// Compares the joined byte strings a1+a2 and b1+b2 without joining them.
// char_traits<char> compares as unsigned char, as std::string does: bytes
// from 128 upward follow all of ASCII.
int compareJoined(std::string_view a1, std::string_view a2, std::string_view b1,
                  std::string_view b2) {
  std::string_view a = a1;
  std::string_view b = b1;
  bool aSecond = false;
  bool bSecond = false;
  while (true) {
    if (a.empty() && !aSecond) {
      a = a2;
      aSecond = true;
      continue;
    }
    if (b.empty() && !bSecond) {
      b = b2;
      bSecond = true;
      continue;
    }
    if (a.empty() || b.empty()) return a.empty() ? (b.empty() ? 0 : -1) : 1;
    const std::size_t n = std::min(a.size(), b.size());
    if (const int order = std::char_traits<char>::compare(a.data(), b.data(), n); order != 0) {
      return order;
    }
    a.remove_prefix(n);
    b.remove_prefix(n);
  }
}

int comparePaths(const FileRecord& a, const FileRecord& b) {
  // Records of one listing share the prefix: only the names differ.
  if (a.sameListedDirectory(b)) return a.name().compare(b.name());
  return compareJoined(a.directoryPart(), a.name(), b.directoryPart(), b.name());
}

}  // namespace

FileRecord::FileRecord(const std::shared_ptr<ListedDirectory>& holder, std::string_view name,
                       std::uint64_t recordSize, std::uint64_t entryInode,
                       std::uint64_t entryDevice)
    : size(recordSize),
      inode(entryInode),
      device(entryDevice),
      nameLength_(static_cast<std::uint32_t>(name.size())),
      holder_(holder),
      nameOffset_(holder->keep(name)) {}

std::string FileRecord::path() const {
  std::string joined;
  joined.reserve(directoryPart().size() + nameLength_);
  joined.append(directoryPart()).append(name());
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
