#include "platform/console.h"

#include <windows.h>

namespace dupsieve {

bool standardOutputIsTerminal() {
  // Only a console answers GetConsoleMode; files and pipes do not.
  const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == INVALID_HANDLE_VALUE || output == nullptr) return false;
  DWORD mode = 0;
  return ::GetConsoleMode(output, &mode) != 0;
}

// Find handles are kernel handles, which have no small per-process limit to
// raise, so a deep walk needs nothing here.
void raiseOpenFileLimit() {}

}  // namespace dupsieve
