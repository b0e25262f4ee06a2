#include "platform/program_arguments.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "platform/system_path_win32.h"

namespace dupsieve {
namespace {

struct LocalFreer {
  void operator()(wchar_t** block) const { ::LocalFree(block); }
};

}  // namespace

std::vector<std::string> programArguments(int argc, char** argv) {
  // The narrow argv holds the arguments in the code page, where names it
  // cannot spell have become "?"; the wide command line holds them as typed.
  int count = 0;
  const std::unique_ptr<wchar_t*, LocalFreer> wide(
      ::CommandLineToArgvW(::GetCommandLineW(), &count));
  if (!wide) return argc < 1 ? std::vector<std::string>{}
                             : std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(utf8FromWide(wide.get()[i]));
  return arguments;
}

}  // namespace dupsieve
