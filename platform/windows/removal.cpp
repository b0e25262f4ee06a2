#include "platform/windows/removal.h"

#include <windows.h>

#include <optional>
#include <string_view>

#include "platform/windows/file_identity.h"
#include "platform/windows/handle.h"
#include "platform/windows/system_path.h"

namespace dupsieve::windows {
namespace {

Removal removalFailure(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return Removal::Gone;
    // A read-only file too: the system refuses to delete it.
    case ERROR_ACCESS_DENIED: return Removal::PermissionDenied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return Removal::InUse;
    case ERROR_WRITE_PROTECT: return Removal::ReadOnly;
    default: return Removal::Refused;
  }
}

// What keeps an open entry from being the file that was listed, if anything.
std::optional<Removal> mismatch(HANDLE entry, const ListedFile& listed) {
  switch (matchListed(entry, listed)) {
    case ListedMatch::Same: return std::nullopt;
    case ListedMatch::Changed: return Removal::Changed;
    case ListedMatch::Directory: return Removal::Directory;
    case ListedMatch::NotAFile: return Removal::NotAFile;
    case ListedMatch::Unknown: break;
  }
  return Removal::Refused;
}

}  // namespace

Removal removeListedFile(const std::string& path, const ListedFile& listed) {
  const std::wstring name = wideFromUtf8(splitAtLastSeparator(path).name);
  if (name.empty()) return Removal::Gone;

  // The directory part was resolved from what the user named when it was
  // listed, links included; its identity tells whether it is still the
  // directory the file was listed in.
  const UniqueFile directory = openDirectory(directoryPart(path));
  if (!directory.valid()) return removalFailure(::GetLastError());
  if (!isListedDirectory(directory.get(), listed.directory)) return Removal::DirectoryReplaced;

  // One handle, relative to that directory and never through a link, serves
  // for the check and the deletion.
  DWORD error = 0;
  const UniqueFile file =
      openEntry(directory.get(), name, DELETE | FILE_READ_ATTRIBUTES, 0, error);
  if (!file.valid()) {
    // What the entry has become matters more than why it cannot be deleted.
    DWORD unused = 0;
    const UniqueFile look = openEntry(directory.get(), name, FILE_READ_ATTRIBUTES, 0, unused);
    if (look.valid()) {
      const std::optional<Removal> why = mismatch(look.get(), listed);
      if (why && *why != Removal::Refused) return *why;
    }
    return removalFailure(error);
  }
  if (const std::optional<Removal> why = mismatch(file.get(), listed)) return *why;

  // Marked for deletion, the file goes when the handle closes. The system
  // refuses a read-only file here, and never deletes a directory this way
  // since a directory was refused above.
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  if (!::SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition,
                                    sizeof disposition)) {
    return removalFailure(::GetLastError());
  }
  // Only the account needs the link count, so a failed look costs nothing.
  BY_HANDLE_FILE_INFORMATION links{};
  const bool otherNames =
      ::GetFileInformationByHandle(file.get(), &links) && links.nNumberOfLinks > 1;
  return otherNames ? Removal::RemovedName : Removal::Removed;
}

}  // namespace dupsieve::windows
