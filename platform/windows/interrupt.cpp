#include "platform/interrupt.h"

#include <windows.h>

#include "platform/interrupt_note.h"

namespace dupsieve {
namespace {

// Windows runs this on a thread of its own. Returning FALSE hands the event
// on to the default handler, which ends the process as Ctrl-C does.
BOOL WINAPI onConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  const std::span<const char> note = publishedInterruptNote();
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD written = 0;
  if (error != INVALID_HANDLE_VALUE && error != nullptr && !note.empty()) {
    ::WriteFile(error, note.data(), static_cast<DWORD>(note.size()), &written, nullptr);
  }
  ::SetConsoleCtrlHandler(onConsoleControl, FALSE);
  return FALSE;
}

}  // namespace

void writeNoteOnInterrupt() { ::SetConsoleCtrlHandler(onConsoleControl, TRUE); }

}  // namespace dupsieve
