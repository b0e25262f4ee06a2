#include "resolution/deletion_prompt.h"

#include <string>

#include "resolution/shown_path.h"

namespace dupsieve {
namespace {

// Minutes can pass between the listing and the answer. A file that was
// replaced, removed or rewritten meanwhile is not what the user agreed to
// delete, and a directory is never deleted.
bool stillAsListed(const FileRecord& record, FileSystem& fileSystem) {
  const auto now = fileSystem.status(record.path);
  return now && now->type == FileType::Regular && now->size == record.size &&
         (record.inode == 0 || now->inode == record.inode);
}

}  // namespace

void DeletionPrompt::operator()(const FileRecord& record) const {
  io_.out << "Delete ";
  writeShownPath(io_.out, record.path, io_.escapeControls);
  io_.out << " ? (y/other): ";

  // Formatted input skips whitespace, empty lines included, and reads one
  // word; it flushes the prompt first when the input is tied to the output.
  // Once the input has ended it reads nothing and the answer stays empty.
  std::string answer;
  io_.in >> answer;

  if (answer != "y" && answer != "Y") return;
  if (!stillAsListed(record, io_.fileSystem)) return;
  io_.fileSystem.removeFile(record.path);
}

}  // namespace dupsieve
