#include "catalogue/file_record.h"

namespace dupsieve {

// std::string compares through char_traits<char>, whose order is that of
// unsigned char: bytes from 128 upward follow all of ASCII.
bool operator<(const FileRecord& a, const FileRecord& b) {
  if (compareMode != CompareMode::BySizeAndDigest) return a.path < b.path;
  if (a.size != b.size) return a.size < b.size;
  return a.digest < b.digest;
}

bool operator==(const FileRecord& a, const FileRecord& b) {
  if (compareMode != CompareMode::BySizeAndDigest) return a.path == b.path;
  return a.size == b.size && a.digest == b.digest;
}

}  // namespace dupsieve
