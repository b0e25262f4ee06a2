#pragma once

#include <string>
#include <string_view>

namespace dupsieve::windows {

// Paths are held as UTF-8 everywhere; the Windows calls take UTF-16. These
// convert between the two at the platform seam, losslessly for every UTF-16
// sequence: a name may hold an unpaired surrogate (Windows allows it), which
// is carried as its own three-byte form, so such a file is still found, read
// and deleted under the name the listing gave.
std::string utf8FromUtf16(std::u16string_view utf16);

// The inverse. A byte that does not start or continue a well-formed sequence
// becomes U+FFFD; the tool's own paths never hold one.
std::u16string utf16FromUtf8(std::string_view utf8);

// How many leading bytes of `utf8` form whole characters: a sequence cut off
// at the end is left for the bytes that complete it.
std::size_t completeUtf8Length(std::string_view utf8);

}  // namespace dupsieve::windows
