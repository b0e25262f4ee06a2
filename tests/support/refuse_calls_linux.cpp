// Loaded into the binary under test before the C library, this refuses the
// calls named in DUPSIEVE_REFUSE (comma-separated) with EPERM, as a seccomp
// sandbox does, and passes every other call on.

#include <dlfcn.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace {

bool refused(std::string_view call) {
  const char* list = std::getenv("DUPSIEVE_REFUSE");
  if (list == nullptr) return false;
  std::string_view rest(list);
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    if (rest.substr(0, comma) == call) return true;
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return false;
}

template <typename Function>
Function next(const char* name) {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

// The result's type is left out: only its address is passed on.
extern "C" int statx(int directoryFd, const char* path, int flags, unsigned int mask,
                     void* result) {
  if (refused("statx")) {
    errno = EPERM;
    return -1;
  }
  using Statx = int (*)(int, const char*, int, unsigned int, void*);
  return next<Statx>("statx")(directoryFd, path, flags, mask, result);
}

extern "C" int unlinkat(int directoryFd, const char* path, int flags) {
  if (refused("unlinkat")) {
    errno = EPERM;
    return -1;
  }
  using Unlinkat = int (*)(int, const char*, int);
  return next<Unlinkat>("unlinkat")(directoryFd, path, flags);
}
