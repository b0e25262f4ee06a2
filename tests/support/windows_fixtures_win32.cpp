#include "tests/support/windows_fixtures_win32.h"

#include <winioctl.h>

#include <cstring>
#include <vector>

#include "platform/windows/system_path.h"

namespace dupsieve::testing {
namespace {

using windows::systemPath;
using windows::wideFromUtf8;

// Wine's own conversions between its paths and the host's; null when not
// running under wine.
using ToHost = char*(__cdecl*)(const wchar_t*);
using FromHost = wchar_t*(__cdecl*)(const char*);

template <class Function>
Function wineFunction(const char* name) {
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return nullptr;
  // Through the one function type that casts to any other without a warning.
  using AnyFunction = void (*)();
  return reinterpret_cast<Function>(reinterpret_cast<AnyFunction>(::GetProcAddress(kernel, name)));
}

std::string hostPath(const std::wstring& path) {
  const auto toHost = wineFunction<ToHost>("wine_get_unix_file_name");
  if (toHost == nullptr) return {};
  char* converted = toHost(path.c_str());
  if (converted == nullptr) return {};
  std::string result(converted);
  ::HeapFree(::GetProcessHeap(), 0, converted);
  return result;
}

// True once `done` holds, false if it still does not after a few seconds.
template <class Predicate>
bool waitFor(Predicate done) {
  for (int tries = 0; tries < 500; ++tries) {
    if (done()) return true;
    ::Sleep(10);
  }
  return done();
}

// Starts a program of the host system under wine. Wine cannot wait for such
// a program, so the caller waits for what it does.
void runOnHost(const std::string& program, const std::vector<std::string>& arguments) {
  const auto fromHost = wineFunction<FromHost>("wine_get_dos_file_name");
  if (fromHost == nullptr) return;
  wchar_t* converted = fromHost(program.c_str());
  if (converted == nullptr) return;
  const std::wstring binary(converted);
  ::HeapFree(::GetProcessHeap(), 0, converted);
  std::wstring line = L"\"" + binary + L"\"";
  for (const std::string& argument : arguments) line += L" \"" + wideFromUtf8(argument) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(binary.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return;
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
}

bool isDirectory(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The mount-point form of the reparse data that makes a junction.
struct MountPointData {
  DWORD tag;
  WORD dataLength;
  WORD reserved;
  WORD substituteOffset;
  WORD substituteLength;
  WORD printOffset;
  WORD printLength;
  wchar_t names[1024];
};

bool makeJunction(const std::wstring& target, const std::wstring& link) {
  if (!::CreateDirectoryW(link.c_str(), nullptr)) return false;
  const HANDLE handle = ::CreateFileW(
      link.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  bool made = false;
  // "\??\" + the absolute target, then an empty printable name.
  const std::wstring substitute = L"\\??\\" + target.substr(4);
  if (handle != INVALID_HANDLE_VALUE && substitute.size() + 2 < 1024) {
    MountPointData data{};
    data.tag = IO_REPARSE_TAG_MOUNT_POINT;
    data.substituteLength = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
    data.printOffset = static_cast<WORD>(data.substituteLength + sizeof(wchar_t));
    std::memcpy(data.names, substitute.c_str(), data.substituteLength);
    data.dataLength = static_cast<WORD>(8 + data.printOffset + sizeof(wchar_t));
    DWORD returned = 0;
    made = ::DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, &data, data.dataLength + 8, nullptr,
                             0, &returned, nullptr) != 0;
  }
  if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  if (!made) ::RemoveDirectoryW(link.c_str());
  return made;
}

}  // namespace

MappedDrive::MappedDrive(const std::string& folder) : target_(systemPath(folder)) {
  const DWORD used = ::GetLogicalDrives();
  char letter = 'Y';
  while (letter > 'M' && (used & (1u << (letter - 'A'))) != 0) --letter;
  const std::string name = std::string(1, letter) + ":";
  const std::wstring root = wideFromUtf8(name) + L"\\";

  // A device name takes a target without the "\\?\" prefix.
  if (::DefineDosDeviceW(0, wideFromUtf8(name).c_str(), target_.substr(4).c_str()) &&
      isDirectory(root)) {
    name_ = name;
    return;
  }
  const std::string devices = hostPath(L"C:\\");
  const std::string prefixEnd = "/dosdevices/c:/";
  const auto at = devices.rfind(prefixEnd);
  const std::string hostTarget = hostPath(target_);
  if (at == std::string::npos || hostTarget.empty()) return;
  hostLink_ = devices.substr(0, at) + "/dosdevices/" + static_cast<char>(letter + 'a' - 'A') + ":";
  runOnHost("/bin/ln", {"-sfn", hostTarget, hostLink_});
  if (waitFor([&] { return isDirectory(root); })) name_ = name;
}

MappedDrive::~MappedDrive() {
  if (!hostLink_.empty()) {
    runOnHost("/bin/rm", {"-f", hostLink_});
    const std::wstring root = wideFromUtf8(name_) + L"\\";
    if (!name_.empty()) waitFor([&] { return !isDirectory(root); });
  } else if (!name_.empty()) {
    ::DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE,
                       wideFromUtf8(name_).c_str(), target_.substr(4).c_str());
  }
}

bool makeDirectoryLink(const std::string& target, const std::string& link) {
  const std::wstring wideTarget = systemPath(target);
  const std::wstring wideLink = systemPath(link);
  if (makeJunction(wideTarget, wideLink)) return true;
  const std::string hostTarget = hostPath(wideTarget);
  const std::string hostLink = hostPath(wideLink);
  if (hostTarget.empty() || hostLink.empty()) return false;
  runOnHost("/bin/ln", {"-s", hostTarget, hostLink});
  return waitFor([&] { return ::GetFileAttributesW(wideLink.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

void removeDirectoryLink(const std::string& link) {
  const std::wstring wideLink = systemPath(link);
  if (::RemoveDirectoryW(wideLink.c_str())) return;
  const std::string hostLink = hostPath(wideLink);
  if (hostLink.empty()) return;
  runOnHost("/bin/rm", {"-f", hostLink});
  waitFor([&] { return ::GetFileAttributesW(wideLink.c_str()) == INVALID_FILE_ATTRIBUTES; });
}

ExclusiveHold::ExclusiveHold(const std::string& path, DWORD sharing)
    : handle_(::CreateFileW(systemPath(path).c_str(), GENERIC_READ, sharing, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}

ExclusiveHold::~ExclusiveHold() {
  if (held()) ::CloseHandle(handle_);
}

}  // namespace dupsieve::testing
