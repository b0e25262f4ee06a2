#include "platform/console.h"

#include <unistd.h>

#include "platform/linux/lazy_flush_input.h"

namespace dupsieve {

// Terminals here take the bytes as they are.
ConsoleText::ConsoleText() = default;
ConsoleText::~ConsoleText() = default;

std::unique_ptr<std::streambuf> lazyFlushStandardInput(std::ostream& output) {
  return std::make_unique<linux_io::LazyFlushInput>(STDIN_FILENO, output);
}

}  // namespace dupsieve
