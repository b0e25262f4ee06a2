#pragma once

#include <windows.h>

#include <string>

namespace dupsieve::testing {

// A drive letter mapped to a folder while the object lives: through the
// system's device names, or under wine, which keeps its drives as links in
// the prefix's dosdevices folder, through such a link. `name()` is empty
// when no letter could be mapped.
class MappedDrive {
 public:
  explicit MappedDrive(const std::string& folder);
  MappedDrive(const MappedDrive&) = delete;
  MappedDrive& operator=(const MappedDrive&) = delete;
  ~MappedDrive();

  const std::string& name() const { return name_; }  // such as "Y:"

 private:
  std::wstring target_;
  std::string name_;
  std::string hostLink_;  // the link made under wine, or empty
};

// Makes `link` a link to the directory `target`: a junction, or under wine,
// which cannot make one, a symbolic link of the host system (which wine
// shows as a reparse point). False when neither could be made.
bool makeDirectoryLink(const std::string& target, const std::string& link);

// Removes such a link, leaving what it leads to alone. (Wine can neither
// remove nor rename a link of the host system: it acts on what the link
// leads to, or fails.)
void removeDirectoryLink(const std::string& link);

// Holds a file open for reading while the object lives, sharing with other
// programs only `sharing` (FILE_SHARE_* bits): by default nothing, as a
// program with exclusive use of it does.
class ExclusiveHold {
 public:
  explicit ExclusiveHold(const std::string& path, DWORD sharing = 0);
  ExclusiveHold(const ExclusiveHold&) = delete;
  ExclusiveHold& operator=(const ExclusiveHold&) = delete;
  ~ExclusiveHold();

  bool held() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

}  // namespace dupsieve::testing
