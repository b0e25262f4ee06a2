#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "platform/windows/handle.h"

namespace dupsieve::windows {

// What tells one file from another on Windows, and the opens that keep to
// the entries a listing reported.

// A reparse point that is a link or no data at all; one whose contents the
// system serves like an ordinary file's or directory's is not.
bool isLinkOrSpecial(DWORD attributes, DWORD tag);

// Opens a directory by its path, resolved as any path is (links included),
// for listing it and for opening its entries relative to it.
UniqueFile openDirectory(const std::string& directory);

// Opens `name`, an entry of the open directory `directory`, relative to that
// handle: whatever happens to the paths above it meanwhile, only an entry of
// that very directory is reached. A final link or junction is opened as
// itself, never followed. `access` is what the handle may do besides wait;
// `kind` is 0, FILE_DIRECTORY_FILE or FILE_NON_DIRECTORY_FILE. Other
// programs' use of the entry is shared. On failure the handle is invalid and
// `error` holds the system's error code; an entry whose deletion is under
// way counts as not found.
UniqueFile openEntry(HANDLE directory, std::wstring_view name, ACCESS_MASK access, ULONG kind,
                     DWORD& error);

// As `openEntry`, but through the system's own handling of a reparse point
// whose contents it serves (a cloud placeholder fetches or fills in what it
// stands for). That handling would follow a link as well: the caller checks
// that it reached the entry it opened as itself.
UniqueFile openServedEntry(HANDLE directory, std::wstring_view name, ACCESS_MASK access,
                           ULONG kind, DWORD& error);

// Volume serial number and file index: one name for a file or directory
// however it was reached. {0, 0} when the system cannot tell them. It asks
// the volume as well, which some systems answer slowly: where the volume is
// known, `fileIndexOf` is the cheap query.
DirectoryId identityOf(HANDLE handle);

// The file index alone; 0 when the system cannot tell it.
std::uint64_t fileIndexOf(HANDLE handle);

// A file index as a file system reports it, with the all-ones value that
// some use for "no such index" made 0, unknown, like any other.
inline std::uint64_t knownIndex(std::uint64_t index) {
  return index == ~std::uint64_t{0} ? 0 : index;
}

// A time as the system keeps it: 100-nanosecond units since 1601.
inline std::uint64_t timeOf(const FILETIME& time) {
  return combine(time.dwHighDateTime, time.dwLowDateTime);
}
inline std::uint64_t timeOf(const LARGE_INTEGER& time) {
  return static_cast<std::uint64_t>(time.QuadPart);
}

// Whether an open directory is the one a listing reported, in every part
// of the reported identity that is known.
bool isListedDirectory(HANDLE directory, DirectoryId listed);

// How an open file, opened as itself, compares with what a listing reported
// of it: volume serial, file index, size, last-write and creation times. A
// part of the listing that is 0 (unknown) is not compared.
enum class ListedMatch {
  Same,
  Changed,    // another file (volume or index) or another size
  Directory,  // a directory now
  NotAFile,   // a link or a reparse point that holds no data
  Unknown,    // the system would not say
};
ListedMatch matchListed(HANDLE file, const ListedFile& listed);

}  // namespace dupsieve::windows
