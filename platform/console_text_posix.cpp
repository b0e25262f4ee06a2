#include "platform/console_text.h"

namespace dupsieve {

// Terminals here take the bytes as they are.
ConsoleText::ConsoleText() = default;
ConsoleText::~ConsoleText() = default;

}  // namespace dupsieve
