#include "platform/windows/file_identity.h"

#include <winternl.h>

#include "platform/windows/reparse_tag.h"
#include "platform/windows/system_path.h"

namespace dupsieve::windows {
namespace {

// A file that someone has deleted stays until its last handle closes; by
// then it has no name to be found by.
constexpr NTSTATUS kStatusDeletePending = static_cast<NTSTATUS>(0xC0000056);

UniqueFile openRelative(HANDLE directory, std::wstring_view name, ACCESS_MASK access,
                        ULONG options, DWORD& error) {
  // Only the native call opens a name relative to a directory handle.
  UNICODE_STRING objectName{};
  objectName.Buffer = const_cast<wchar_t*>(name.data());
  objectName.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  objectName.MaximumLength = objectName.Length;
  OBJECT_ATTRIBUTES attributes{};
  // Case as the wide calls treat it: a directory that tells case apart
  // still does.
  InitializeObjectAttributes(&attributes, &objectName, OBJ_CASE_INSENSITIVE, directory, nullptr);
  IO_STATUS_BLOCK io{};
  HANDLE handle = INVALID_HANDLE_VALUE;
  const NTSTATUS status =
      ::NtCreateFile(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, 0, kShareAll,
                     FILE_OPEN, options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (NT_SUCCESS(status)) return UniqueFile(handle);
  error = status == kStatusDeletePending ? ERROR_FILE_NOT_FOUND : ::RtlNtStatusToDosError(status);
  return UniqueFile(INVALID_HANDLE_VALUE);
}

// A time the listing did not tell (0) is not compared.
bool sameTime(const FILETIME& now, std::uint64_t listed) {
  return listed == 0 || timeOf(now) == listed;
}

}  // namespace

bool isLinkOrSpecial(DWORD attributes, DWORD tag) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         classifyReparseTag(tag) != ReparseKind::Transparent;
}

UniqueFile openDirectory(const std::string& directory) {
  std::wstring path = systemPath(directory);
  // A root keeps its separator; without it "X:" would be the volume itself.
  if (path.size() > 1 && path.back() == L'\\' && path[path.size() - 2] != L':') path.pop_back();
  // Backup semantics is what lets CreateFile open a directory at all.
  return UniqueFile(::CreateFileW(path.c_str(),
                                  FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                  nullptr));
}

UniqueFile openEntry(HANDLE directory, std::wstring_view name, ACCESS_MASK access, ULONG kind,
                     DWORD& error) {
  return openRelative(directory, name, access, kind | FILE_OPEN_REPARSE_POINT, error);
}

UniqueFile openServedEntry(HANDLE directory, std::wstring_view name, ACCESS_MASK access,
                           ULONG kind, DWORD& error) {
  return openRelative(directory, name, access, kind, error);
}

DirectoryId identityOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle, &info)) return {};
  return {info.dwVolumeSerialNumber, combine(info.nFileIndexHigh, info.nFileIndexLow)};
}

std::uint64_t fileIndexOf(HANDLE handle) {
  // The index without the volume's serial number, which the by-handle
  // information would fetch as well.
  FILE_INTERNAL_INFORMATION info{};
  IO_STATUS_BLOCK io{};
  if (!NT_SUCCESS(::NtQueryInformationFile(handle, &io, &info, sizeof info,
                                           FileInternalInformation))) {
    return 0;
  }
  return knownIndex(static_cast<std::uint64_t>(info.IndexNumber.QuadPart));
}

bool isListedDirectory(HANDLE directory, DirectoryId listed) {
  if (listed == DirectoryId{}) return true;
  const DirectoryId found = identityOf(directory);
  return (listed.device == 0 || found.device == listed.device) &&
         (listed.inode == 0 || found.inode == listed.inode);
}

ListedMatch matchListed(HANDLE file, const ListedFile& listed) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file, &info)) return ListedMatch::Unknown;
  const std::uint64_t index = combine(info.nFileIndexHigh, info.nFileIndexLow);
  if ((listed.inode != 0 && index != listed.inode) ||
      (listed.device != 0 && info.dwVolumeSerialNumber != listed.device)) {
    return ListedMatch::Changed;
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag)) {
      return ListedMatch::Unknown;
    }
    if (isLinkOrSpecial(tag.FileAttributes, tag.ReparseTag)) return ListedMatch::NotAFile;
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return ListedMatch::Directory;
  if (combine(info.nFileSizeHigh, info.nFileSizeLow) != listed.size ||
      !sameTime(info.ftLastWriteTime, listed.modified) ||
      !sameTime(info.ftCreationTime, listed.born)) {
    return ListedMatch::Changed;
  }
  return ListedMatch::Same;
}

}  // namespace dupsieve::windows
