#include "platform/windows/utf16_text_buffer.h"

#include "platform/windows/utf16.h"

namespace dupsieve::windows {

Utf16TextBuffer::int_type Utf16TextBuffer::overflow(int_type byte) {
  if (!traits_type::eq_int_type(byte, traits_type::eof())) {
    pending_ += traits_type::to_char_type(byte);
  }
  return traits_type::not_eof(byte);
}

std::streamsize Utf16TextBuffer::xsputn(const char* bytes, std::streamsize count) {
  pending_.append(bytes, static_cast<std::size_t>(count));
  return count;
}

int Utf16TextBuffer::sync() {
  const std::size_t complete = completeUtf8Length(pending_);
  if (complete == 0) return 0;
  const std::u16string text = utf16FromUtf8(std::string_view(pending_).substr(0, complete));
  pending_.erase(0, complete);
  return write_(text) ? 0 : -1;
}

}  // namespace dupsieve::windows
