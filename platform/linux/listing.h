#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "platform/linux/batch/batch_io.h"
#include "platform/linux/batch/second_thread.h"
#include "platform/linux/system_calls.h"

namespace dupsieve::linux_io {

class OpenDirectory;

// Bounds how many directories the listings of one file system hold open at
// once, so that no depth of tree runs into the open-file limit; should an
// open meet the limit all the same (descriptors the process holds besides),
// it gives descriptors back until the open succeeds. The least
// recently used directory gives its descriptor up first (in a depth-first
// walk, the one nearest the top); it is opened again, and checked to be the
// same directory, when it is needed.
class DescriptorBudget {
 public:
  explicit DescriptorBudget(std::size_t limit) : limit_(limit < 2 ? 2 : limit) {}
  DescriptorBudget(const DescriptorBudget&) = delete;
  DescriptorBudget& operator=(const DescriptorBudget&) = delete;

  // `directory` holds a descriptor now; others may have to give theirs up.
  void opened(OpenDirectory& directory);
  // Where an open found no descriptor free: the least recently used
  // directory but `keep` gives its descriptor up, and from now on no more
  // are held than are held now. False when none is left to give up.
  bool giveBack(const OpenDirectory* keep);
  void used(OpenDirectory& directory);
  void closed(OpenDirectory& directory);
  std::size_t openCount() const { return open_.size(); }

 private:
  std::size_t limit_;
  std::list<OpenDirectory*> open_;  // least recently used first
};

// What the listings of one file system share.
struct ListingContext {
  SystemCalls* calls;
  DescriptorBudget* budget;
  EnginePerThread* engines;  // looks up many entries of a directory at once
  SecondThread* second;             // takes half of a large block of lookups
  std::uint64_t* unread;            // subdirectories that could not be opened
};

// Lists the entries of the directory at `directoryPath` (resolved as the
// user named it) whose names match `component`, which holds wildcards.
// Null when the directory cannot be listed or nothing matches.
std::unique_ptr<DirectoryListing> listMatchingEntries(const ListingContext& context,
                                                      const std::string& directoryPath,
                                                      std::string_view component);

// The one entry `name` of the directory at `directoryPath`, or null when
// there is no such entry.
std::unique_ptr<DirectoryListing> listNamedEntry(const ListingContext& context,
                                                 const std::string& directoryPath,
                                                 const std::string& name);

}  // namespace dupsieve::linux_io
