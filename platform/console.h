#pragma once

#include <memory>
#include <ostream>
#include <streambuf>

namespace dupsieve {

// While it lives, `std::cout` and `std::cerr` show the tool's UTF-8 text
// correctly wherever they are a console: on Windows through the console's
// UTF-16 interface, whatever its code page (which is left as it is), since
// bytes in the code page could not spell most names. Into a pipe or a file,
// and on systems whose terminals take UTF-8, the bytes go out unchanged.
class ConsoleText {
 public:
  ConsoleText();
  ConsoleText(const ConsoleText&) = delete;
  ConsoleText& operator=(const ConsoleText&) = delete;
  ~ConsoleText();

 private:
  std::unique_ptr<std::streambuf> output_;  // in place of std::cout's own, when set
  std::unique_ptr<std::streambuf> error_;   // in place of std::cerr's own, when set
  std::streambuf* savedOutput_ = nullptr;
  std::streambuf* savedError_ = nullptr;
};

// A buffer to read standard input through in a run that nobody follows at a
// terminal: it flushes `output` only right before a read would wait, rather
// than before every read as tying the streams does. Null where the platform
// has no such buffer; the tie then stays.
std::unique_ptr<std::streambuf> lazyFlushStandardInput(std::ostream& output);

}  // namespace dupsieve
