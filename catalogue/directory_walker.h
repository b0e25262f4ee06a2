#pragma once

#include <string>
#include <vector>

#include "catalogue/file_record.h"
#include "catalogue/heads_ahead.h"
#include "catalogue/progress_observer.h"
#include "platform/file_system.h"

namespace dupsieve {

// Turns one start pattern into FileRecords appended to a file list, in
// listing order, depth-first. Copies append to the same list. Given a
// HeadsAhead (over the same list), it tells it of every record appended.
class DirectoryWalker {
 public:
  DirectoryWalker(std::vector<FileRecord>& files, bool includeEmpty, bool recurse,
                  FileSystem& fileSystem, ProgressObserver& progress = noProgress(),
                  HeadsAhead* ahead = nullptr)
      : includeEmpty_(includeEmpty), recurse_(recurse), files_(&files),
        fileSystem_(&fileSystem), progress_(&progress), ahead_(ahead) {}

  // Walks a start pattern: it yields the entries it names (a directory named
  // without wildcards is listed only when descending). With recursion on, a
  // pattern whose last component is "." or ".." lists that directory.
  // Subdirectories are descended through the listing that reported them, so
  // a directory replaced by a link during the walk is never followed; the
  // depth of the tree is bounded by memory alone.
  void operator()(std::string pattern) const;

 private:
  bool includeEmpty_;
  bool recurse_;
  std::vector<FileRecord>* files_;
  FileSystem* fileSystem_;
  ProgressObserver* progress_;  // told the size of the file list every kProgressStep files
  HeadsAhead* ahead_;           // null: no head is read during the walk
};

}  // namespace dupsieve
