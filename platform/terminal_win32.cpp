#include "platform/terminal.h"

#include <windows.h>

namespace dupsieve {

bool isTerminal(StandardStream stream) {
  DWORD which = STD_ERROR_HANDLE;
  if (stream == StandardStream::Input) which = STD_INPUT_HANDLE;
  if (stream == StandardStream::Output) which = STD_OUTPUT_HANDLE;
  // Only a console answers GetConsoleMode; files and pipes do not.
  const HANDLE handle = ::GetStdHandle(which);
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return false;
  DWORD mode = 0;
  return ::GetConsoleMode(handle, &mode) != 0;
}

}  // namespace dupsieve
