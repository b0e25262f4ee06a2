#include "platform/process.h"
#include "platform/run_beside.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <system_error>
#include <utility>

#include "platform/windows/system_path.h"

namespace dupsieve {
namespace {

struct LocalFreer {
  void operator()(wchar_t** block) const { ::LocalFree(block); }
};

}  // namespace

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

// A write to a closed pipe fails there without any signal.
void ignoreBrokenPipe() {}

// The system's heap gives large blocks back as they are freed.
void returnLargeBlocksWhenFreed() {}

std::vector<std::string> programArguments(int argc, char** argv) {
  // The narrow argv holds the arguments in the code page, where names it
  // cannot spell have become "?"; the wide command line holds them as typed.
  int count = 0;
  const std::unique_ptr<wchar_t*, LocalFreer> wide(
      ::CommandLineToArgvW(::GetCommandLineW(), &count));
  if (!wide) return argc < 1 ? std::vector<std::string>{}
                             : std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(windows::utf8FromWide(wide.get()[i]));
  return arguments;
}

// A console's Ctrl-C handler runs on a thread of the system's own, so no
// thread here needs to keep it away.
bool startThreadBeside(std::thread& thread, std::function<void()> body) {
  if (std::thread::hardware_concurrency() < 2) return false;
  try {
    thread = std::thread(std::move(body));
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

}  // namespace dupsieve
