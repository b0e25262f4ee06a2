#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file_system.h"

namespace dupsieve {

// What the paths of all files recorded from one listed directory share: the
// prefix up to and including its last "/", exactly as the walk composed it,
// and the directory's identity. It also keeps the names of those files, one
// after the other in one buffer, and the device they are on (one for all of
// them but where a file is mounted over an entry), so that a record needs
// only a few bytes for its path and device.
class ListedDirectory {
 public:
  ListedDirectory(std::string prefix, DirectoryId id) : prefix_(std::move(prefix)), id_(id) {}

  const std::string& prefix() const { return prefix_; }
  DirectoryId id() const { return id_; }

  // Whether `name` can still be kept: a record tells where its name is in
  // 30 bits, so one ListedDirectory holds about a MiB of names, and a
  // directory whose names fill that is recorded in more than one.
  bool hasRoomFor(std::string_view name) const;
  // Keeps `name` of a file on `device`; returns where it is, in 30 bits
  // that grow with every name kept. Names kept earlier stay where they are.
  std::uint32_t keep(std::string_view name, std::uint64_t device);
  std::string_view name(std::uint32_t place) const;
  std::uint64_t deviceOf(std::uint32_t place) const;
  // No more names will come: give back what the buffers hold in reserve.
  void settle();

  // Where the prefix stands among the prefixes of the directories ranked
  // together (PathRanks), counted from 1, and the last place of those that
  // start with it; {0, 0} when not ranked. Set while a sort by path runs.
  struct PathRank {
    std::uint32_t place = 0;
    std::uint32_t lastUnder = 0;
  };
  PathRank pathRank() const { return pathRank_; }
  void rankPath(PathRank rank) const { pathRank_ = rank; }

 private:
  std::string prefix_;
  DirectoryId id_;
  std::string names_;  // one name after the other
  std::uint64_t device_ = 0;  // of the first file kept
  // The files on another device, by place (ascending).
  std::vector<std::pair<std::uint32_t, std::uint64_t>> otherDevices_;
  // Not part of what the directory is: a key that a sort by path reads.
  mutable PathRank pathRank_;
};

}  // namespace dupsieve
