#include "catalogue/listed_directory.h"

#include <algorithm>
#include <limits>

namespace dupsieve {
namespace {

constexpr std::size_t kLongestLength = 10;  // bytes that a 64-bit length takes

}  // namespace

bool ListedDirectory::hasRoomFor(std::string_view name) const {
  return names_.size() + kLongestLength + name.size() <= std::numeric_limits<std::uint32_t>::max();
}

std::uint32_t ListedDirectory::keep(std::string_view name, std::uint64_t device) {
  const auto at = static_cast<std::uint32_t>(names_.size());
  if (names_.empty()) {
    device_ = device;
  } else if (device != device_) {
    otherDevices_.emplace_back(at, device);
  }
  for (std::size_t length = name.size();; length >>= 7) {
    const auto low = static_cast<char>(length & 0x7F);
    if (length < 0x80) {
      names_.push_back(low);
      break;
    }
    names_.push_back(static_cast<char>(low | 0x80));
  }
  names_.append(name);
  return at;
}

std::string_view ListedDirectory::name(std::uint32_t at) const {
  std::size_t length = 0;
  std::size_t start = at;
  for (unsigned shift = 0;; shift += 7) {
    const auto byte = static_cast<unsigned char>(names_[start++]);
    length |= static_cast<std::size_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) break;
  }
  return std::string_view(names_).substr(start, length);
}

std::uint64_t ListedDirectory::deviceOf(std::uint32_t at) const {
  const auto other = std::lower_bound(
      otherDevices_.begin(), otherDevices_.end(), at,
      [](const std::pair<std::uint32_t, std::uint64_t>& kept, std::uint32_t wanted) {
        return kept.first < wanted;
      });
  return other != otherDevices_.end() && other->first == at ? other->second : device_;
}

void ListedDirectory::settle() {
  names_.shrink_to_fit();
  otherDevices_.shrink_to_fit();
}

}  // namespace dupsieve
