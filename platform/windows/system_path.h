#pragma once

#include <string>
#include <string_view>

#include "platform/path_parts.h"

namespace dupsieve::windows {

// Where the tool's UTF-8 paths meet the wide Windows calls.

// Text between UTF-8 and the system's UTF-16, losslessly (see utf16.h).
std::wstring wideFromUtf8(std::string_view utf8);
std::string utf8FromWide(std::wstring_view wide);

// `path` in the form the wide calls take it: backslashes, made absolute
// against the current directory (of its drive, for "D:name"), and given the
// "\\?\" prefix ("\\?\UNC\" for a share), so that no length limit applies.
// Only the directory part is normalised the way Windows normalises paths
// ("." and ".." resolved, separators merged); the last component is kept as
// it is, so a listed name that ends in a dot or a blank, or is spelled like
// a device, still names that entry. A path already in the system's own
// device or extended form is taken as given; an empty path stays empty.
std::wstring systemPath(std::string_view path);

// "X:", a drive letter and a colon: the whole drive here, not the current
// directory on it.
bool isDriveName(std::string_view pattern);

// A path split at its last separator, "/" or a backslash alike: the prefix
// that the entries of a pattern's listing join (everything up to and
// including that separator, else nothing) and the last component.
PathParts splitAtLastSeparator(std::string_view path);

// The directory that a pattern lists or whose entry it names: its prefix, a
// bare drive's root, or the current directory.
std::string directoryPart(const std::string& pattern);

}  // namespace dupsieve::windows
