#pragma once

#include <memory>
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

}  // namespace dupsieve
