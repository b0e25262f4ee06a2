#include "catalogue/listed_directory.h"

#include <algorithm>
#include <cstring>

namespace dupsieve {
namespace {

// A place is the name's offset in the buffer above its length. No system
// the tool runs on makes a longer name than fits (Linux: 255 bytes;
// Windows: 255 UTF-16 units, 765 bytes of UTF-8); one that did would be
// kept with its length in the buffer before it.
constexpr unsigned kLengthBits = 10;
constexpr std::uint32_t kLengthInBuffer = (1u << kLengthBits) - 1;
// A place fits in 30 bits: the record keeps two marks beside it.
constexpr std::size_t kBufferLimit = std::size_t{1} << (30 - kLengthBits);

}  // namespace

bool ListedDirectory::hasRoomFor(std::string_view name) const {
  return names_.size() + sizeof(std::uint32_t) + name.size() <= kBufferLimit;
}

std::uint32_t ListedDirectory::keep(std::string_view name, std::uint64_t device) {
  const auto offset = static_cast<std::uint32_t>(names_.size());
  const bool lengthInBuffer = name.size() >= kLengthInBuffer;
  const std::uint32_t place =
      offset << kLengthBits |
      (lengthInBuffer ? kLengthInBuffer : static_cast<std::uint32_t>(name.size()));
  if (names_.empty()) {
    device_ = device;
  } else if (device != device_) {
    otherDevices_.emplace_back(place, device);
  }
  if (lengthInBuffer) {
    const auto length = static_cast<std::uint32_t>(name.size());
    names_.append(reinterpret_cast<const char*>(&length), sizeof length);
  }
  names_.append(name);
  return place;
}

std::string_view ListedDirectory::name(std::uint32_t place) const {
  std::size_t offset = place >> kLengthBits;
  std::uint32_t length = place & kLengthInBuffer;
  if (length == kLengthInBuffer) {
    std::memcpy(&length, names_.data() + offset, sizeof length);
    offset += sizeof length;
  }
  return std::string_view(names_).substr(offset, length);
}

std::uint64_t ListedDirectory::deviceOf(std::uint32_t place) const {
  const auto other = std::lower_bound(
      otherDevices_.begin(), otherDevices_.end(), place,
      [](const std::pair<std::uint32_t, std::uint64_t>& kept, std::uint32_t wanted) {
        return kept.first < wanted;
      });
  return other != otherDevices_.end() && other->first == place ? other->second : device_;
}

void ListedDirectory::settle() {
  names_.shrink_to_fit();
  otherDevices_.shrink_to_fit();
}

}  // namespace dupsieve
