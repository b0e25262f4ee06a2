#include "platform/linux/lazy_flush_input.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace dupsieve::linux_io {

LazyFlushInput::int_type LazyFlushInput::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());

  // Ready means a read returns at once: bytes, or the end of the input.
  // Anything else, a failed poll included, may wait, so the output goes
  // first.
  pollfd input{fd_, POLLIN, 0};
  int ready = 0;
  do {
    ready = ::poll(&input, 1, 0);
  } while (ready < 0 && errno == EINTR);
  if (ready != 1) output_.flush();

  ssize_t got = 0;
  do {
    got = ::read(fd_, buffer_, sizeof buffer_);
  } while (got < 0 && errno == EINTR);
  if (got <= 0) return traits_type::eof();
  setg(buffer_, buffer_, buffer_ + got);
  return traits_type::to_int_type(*gptr());
}

}  // namespace dupsieve::linux_io
