#include "platform/real_file_system.h"

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/windows/file_identity.h"
#include "platform/windows/handle.h"
#include "platform/windows/listing.h"
#include "platform/windows/removal.h"
#include "platform/windows/system_path.h"

namespace dupsieve::windows {
namespace {

bool isReparsePoint(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// Paths on a drive or a share name files; anything else (a device path the
// user gave) may name a pipe or a console, whose reads could block forever.
bool mayBeDevice(std::wstring_view path) {
  const bool onDrive = path.size() >= 7 && path.substr(0, 4) == L"\\\\?\\" && path[5] == L':';
  const bool onShare = path.substr(0, 8) == L"\\\\?\\UNC\\";
  return !onDrive && !onShare;
}

bool sameFile(HANDLE a, HANDLE b) {
  const DirectoryId first = identityOf(a);
  return first != DirectoryId{} && first == identityOf(b);
}

// Opens `path` for reading its data without ever following a link: invalid
// when it is not a file whose data can be read.
UniqueFile openDataFile(const std::wstring& path) {
  // Opened as itself first, so that a link put in its place is not followed.
  // A directory cannot be opened at all without backup semantics.
  UniqueFile itself(::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!itself.valid()) return itself;
  // The one query of each read: it tells directories and reparse points.
  FILE_ATTRIBUTE_TAG_INFO info{};
  if (!::GetFileInformationByHandleEx(itself.get(), FileAttributeTagInfo, &info, sizeof info) ||
      (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
      isLinkOrSpecial(info.FileAttributes, info.ReparseTag) ||
      (mayBeDevice(path) && ::GetFileType(itself.get()) != FILE_TYPE_DISK)) {
    return UniqueFile(INVALID_HANDLE_VALUE);
  }
  if (!isReparsePoint(info.FileAttributes)) return itself;

  // A placeholder or a deduplicated file: only an open through the system's
  // own handling gives its real data. Such an open would follow a link that
  // replaced the file meanwhile, so it must reach the file opened above.
  UniqueFile served(::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  0, nullptr));
  if (!served.valid() || !windows::sameFile(itself.get(), served.get())) {
    return UniqueFile(INVALID_HANDLE_VALUE);
  }
  return served;
}

// What tells a file written since it was opened: a write moves its
// last-write and change times, a change of length its size. Empty when the
// system would not tell.
struct WriteState {
  LARGE_INTEGER lastWrite{};
  LARGE_INTEGER changed{};
  LARGE_INTEGER size{};
  bool operator==(const WriteState& other) const {
    return lastWrite.QuadPart == other.lastWrite.QuadPart &&
           changed.QuadPart == other.changed.QuadPart && size.QuadPart == other.size.QuadPart;
  }
};

std::optional<WriteState> writeStateOf(HANDLE file) {
  FILE_BASIC_INFO times{};
  WriteState state;
  if (!::GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times) ||
      !::GetFileSizeEx(file, &state.size)) {
    return std::nullopt;
  }
  state.lastWrite = times.LastWriteTime;
  state.changed = times.ChangeTime;
  return state;
}

// Reads a file opened for its whole contents; closes it when it goes away.
class HandleContentReader final : public ContentReader {
 public:
  explicit HandleContentReader(HANDLE handle) : file_(handle), opened_(writeStateOf(handle)) {}

  std::optional<std::size_t> read(std::span<unsigned char> into) override {
    constexpr std::size_t kMostPerCall = std::size_t{1} << 30;  // a DWORD's worth, and then some
    std::size_t filled = 0;
    while (filled < into.size()) {
      const std::size_t left = into.size() - filled;
      DWORD got = 0;
      const auto want = static_cast<DWORD>(left < kMostPerCall ? left : kMostPerCall);
      if (!::ReadFile(file_.get(), into.data() + filled, want, &got, nullptr)) return std::nullopt;
      if (got == 0) break;
      filled += got;
    }
    return filled;
  }

  bool unchangedSinceOpened() override {
    const std::optional<WriteState> now = writeStateOf(file_.get());
    return opened_ && now && *now == *opened_;
  }

 private:
  UniqueFile file_;
  std::optional<WriteState> opened_;
};

}  // namespace
}  // namespace dupsieve::windows

namespace dupsieve {

using windows::kShareAll;
using windows::ListedMatch;
using windows::systemPath;
using windows::UniqueFile;

struct RealFileSystem::State {
  std::vector<unsigned char> readBuffer;  // bounded, reused for every read
};

// The preferred calls are Linux calls; there is nothing to choose here.
RealFileSystem::RealFileSystem(PreferredCalls /*preferred*/) : state_(std::make_unique<State>()) {}
RealFileSystem::~RealFileSystem() = default;

std::unique_ptr<DirectoryListing> RealFileSystem::findFirst(const std::string& pattern) {
  return windows::listPattern(pattern);
}

namespace {

// Hands at most `length` leading bytes of the open file to `sink`, through
// a buffer of bounded size, reused for every read.
void readOpenedHead(HANDLE file, std::uint64_t length, ByteSink& sink,
                    std::vector<unsigned char>& buffer) {
  if (buffer.empty()) buffer.resize(64 * 1024);
  std::uint64_t remaining = length;
  while (remaining > 0) {
    const DWORD want = remaining < buffer.size() ? static_cast<DWORD>(remaining)
                                                 : static_cast<DWORD>(buffer.size());
    DWORD got = 0;
    if (!::ReadFile(file, buffer.data(), want, &got, nullptr) || got == 0) break;
    sink.consume(std::span<const unsigned char>(buffer.data(), got));
    remaining -= got;
  }
}

}  // namespace

void RealFileSystem::readHeads(std::span<HeadRead> reads) {
  for (HeadRead& read : reads) {
    read.read = false;
    const UniqueFile file =
        windows::openDataFile(systemPath(std::string(read.directory) + std::string(read.name)));
    if (!file.valid()) continue;
    // Another file that has taken the name since the listing is not read.
    if (read.listed != ListedFile{} &&
        windows::matchListed(file.get(), read.listed) != ListedMatch::Same) {
      continue;
    }
    readOpenedHead(file.get(), read.length, *read.sink, state_->readBuffer);
    read.read = true;
  }
}

// Read at once, on the caller's thread: the walk's own calls come first here.
std::unique_ptr<OwnedHeads> RealFileSystem::startHeads(std::unique_ptr<OwnedHeads> batch) {
  return HeadReader::startHeads(std::move(batch));
}

std::vector<std::unique_ptr<OwnedHeads>> RealFileSystem::collectHeads(bool wait) {
  return HeadReader::collectHeads(wait);
}

bool RealFileSystem::readLeadingBytes(const std::string& path, std::uint64_t length,
                                      ByteSink& sink) {
  // Sharing everything keeps other programs' access undisturbed; a file that
  // another program holds exclusively cannot be opened and gives false.
  const UniqueFile file = windows::openDataFile(systemPath(path));
  if (!file.valid()) return false;
  readOpenedHead(file.get(), length, sink, state_->readBuffer);
  return true;
}

Removal RealFileSystem::removeListedFile(const std::string& path, const ListedFile& listed) {
  return windows::removeListedFile(path, listed);
}

// A handle per open listing and no small limit on handles: a subdirectory
// refused here is refused by its permissions, which are not counted yet.
std::uint64_t RealFileSystem::unreadDirectories() const { return 0; }

OpenedContent RealFileSystem::openListedFile(const std::string& path, const ListedFile& listed) {
  const std::wstring name = systemPath(path);
  // Compared with the listing as itself first, so that a link put in its
  // place is never followed and a directory is told apart.
  const UniqueFile itself(::CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                        OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
  if (!itself.valid()) {
    const DWORD error = ::GetLastError();
    const bool gone = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    return {gone ? ContentOpening::Gone : ContentOpening::Unreadable, nullptr};
  }
  switch (windows::matchListed(itself.get(), listed)) {
    case ListedMatch::Same: break;
    case ListedMatch::Unknown: return {ContentOpening::Unreadable, nullptr};
    default: return {ContentOpening::Changed, nullptr};
  }
  // Its data opened as the heads are read (a placeholder through the
  // system's own handling), and only if it is still the file just checked.
  UniqueFile data = windows::openDataFile(name);
  if (!data.valid()) return {ContentOpening::Unreadable, nullptr};
  if (!windows::sameFile(itself.get(), data.get())) return {ContentOpening::Changed, nullptr};
  return {ContentOpening::Opened, std::make_unique<windows::HandleContentReader>(data.release())};
}

}  // namespace dupsieve
