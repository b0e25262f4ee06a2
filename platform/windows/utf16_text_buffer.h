#pragma once

#include <functional>
#include <streambuf>
#include <string>
#include <string_view>
#include <utility>

namespace dupsieve::windows {

// A stream buffer for a console that takes text as UTF-16: it gathers the
// UTF-8 bytes written to it and, at every flush, hands them on as UTF-16,
// whole characters only. A character cut in two by a flush waits for the
// rest of its bytes. What cannot be handed on is dropped, as output errors
// are everywhere in the tool.
class Utf16TextBuffer final : public std::streambuf {
 public:
  // `write` shows the text; false means it could not.
  using Writer = std::function<bool(std::u16string_view)>;

  explicit Utf16TextBuffer(Writer write) : write_(std::move(write)) {}
  Utf16TextBuffer(const Utf16TextBuffer&) = delete;
  Utf16TextBuffer& operator=(const Utf16TextBuffer&) = delete;
  ~Utf16TextBuffer() override { sync(); }

 protected:
  int_type overflow(int_type byte) override;
  std::streamsize xsputn(const char* bytes, std::streamsize count) override;
  int sync() override;

 private:
  Writer write_;
  std::string pending_;  // UTF-8 not handed on yet
};

}  // namespace dupsieve::windows
