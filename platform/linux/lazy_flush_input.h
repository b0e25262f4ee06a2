#pragma once

#include <istream>
#include <ostream>
#include <streambuf>

namespace dupsieve::linux_io {

// Standard input for a run that nobody follows at a terminal: instead of
// flushing the output before every read (what tying the streams does), it
// flushes only right before a read would wait. Answers that are already
// there (a file, a pipe that was filled in advance, an input that has ended)
// are read without a flush, so the output goes out in large writes; a program
// that waits to see a prompt before it answers (a coprocess on pipes) still
// sees every prompt before the read waits for its answer. The bytes written
// are the same either way; only where the writes split them differs.
//
// A person at a terminal may type ahead, and must still see each prompt
// before its answer is taken: keep the tie there.
class LazyFlushInput final : public std::streambuf {
 public:
  LazyFlushInput(int fd, std::ostream& output) : fd_(fd), output_(output) {}

 protected:
  int_type underflow() override;

 private:
  int fd_;
  std::ostream& output_;
  char buffer_[4096];
};

}  // namespace dupsieve::linux_io
