#pragma once

#include <string>
#include <string_view>

namespace dupsieve {

// A path split at its last "/": `directory` is everything up to and
// including that "/" (empty when there is none), `name` the last component
// after it. Joining the two gives the path back.
struct PathParts {
  std::string_view directory;
  std::string_view name;
};

inline PathParts splitAtLastSlash(std::string_view path) {
  const auto slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  return {path.substr(0, nameStart), path.substr(nameStart)};
}

// The directory part of a split path as a path the system can open: the
// working directory when there is none.
inline std::string openableDirectory(std::string_view directory) {
  return directory.empty() ? std::string(".") : std::string(directory);
}

// "." and "..": the names a directory lists for itself and its parent,
// never entries of their own. (Names such as "..." are ordinary names here.)
template <typename Char>
constexpr bool isDotOrDotDot(std::basic_string_view<Char> name) {
  return !name.empty() && name.size() <= 2 && name.find_first_not_of(Char('.')) == name.npos;
}
inline bool isDotOrDotDot(std::string_view name) { return isDotOrDotDot<char>(name); }
inline bool isDotOrDotDot(std::wstring_view name) { return isDotOrDotDot<wchar_t>(name); }

}  // namespace dupsieve
