#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace dupsieve {

// What the paths of all files recorded from one listed directory share: the
// prefix up to and including its last "/", exactly as the walk composed it,
// and the directory's identity. It also keeps the names of those files, one
// after the other in one buffer, so that a record needs only a few bytes for
// its path, which is put together when it is shown or opened.
class ListedDirectory {
 public:
  ListedDirectory(std::string prefix, DirectoryId id) : prefix_(std::move(prefix)), id_(id) {}

  const std::string& prefix() const { return prefix_; }
  DirectoryId id() const { return id_; }

  // Keeps `name`; returns where it starts. Names kept earlier stay where
  // they are.
  std::size_t keep(std::string_view name) {
    const std::size_t offset = names_.size();
    names_.append(name);
    return offset;
  }
  std::string_view name(std::size_t offset, std::size_t length) const {
    return std::string_view(names_).substr(offset, length);
  }
  // No more names will come: give back what the buffer holds in reserve.
  void settle() { names_.shrink_to_fit(); }

 private:
  std::string prefix_;
  DirectoryId id_;
  std::string names_;
};

}  // namespace dupsieve
