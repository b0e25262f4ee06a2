// Loaded into the binary under test before the C library, this refuses the
// calls named in DUPSIEVE_REFUSE (comma-separated) with EPERM, as a seccomp
// sandbox does, and passes every other call on. It also refuses, with
// EACCES, to open any file whose last path component is DUPSIEVE_UNREADABLE,
// as for a file its user may not read: even root meets that one.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdarg>
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

extern "C" int openat(int directoryFd, const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list rest;
    va_start(rest, flags);
    mode = va_arg(rest, mode_t);
    va_end(rest);
  }
  const char* unreadable = std::getenv("DUPSIEVE_UNREADABLE");
  if (unreadable != nullptr) {
    const std::string_view whole(path);
    const std::size_t slash = whole.rfind('/');
    if (whole.substr(slash == std::string_view::npos ? 0 : slash + 1) == unreadable) {
      errno = EACCES;
      return -1;
    }
  }
  using Openat = int (*)(int, const char*, int, ...);
  return next<Openat>("openat")(directoryFd, path, flags, mode);
}
