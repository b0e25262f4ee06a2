#pragma once

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

}  // namespace dupsieve
