#include "platform/open_file_limit.h"

#include <sys/resource.h>

namespace dupsieve {

void raiseOpenFileLimit() {
  // A path cannot be longer than 4096 bytes, so no walk is deeper than that.
  constexpr rlim_t enough = 4096;
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= enough) return;
  limit.rlim_cur = limit.rlim_max < enough ? limit.rlim_max : enough;
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace dupsieve
