#include "resolution/group_reporter.h"

#include <vector>

#include "catalogue/sample_digest.h"
#include "resolution/deletion_prompt.h"
#include "resolution/group_verdict.h"
#include "resolution/shown_path.h"

namespace dupsieve {
namespace {

constexpr std::int32_t kReportBlockSize = 256;

}  // namespace

void GroupReporter::operator()(Group group) const {
  // Members whose digest is still 0 are read together, before the listing.
  std::vector<FileRecord*> members;
  for (FileRecord& member : group) members.push_back(&member);
  sampleDigests(members, kReportBlockSize, *fileSystem_);
  for (const FileRecord& member : group) {
    writeShownPath(console_.out, member.path(), console_.escapeControls);
    console_.out << '\t' << std::dec << member.size << '\t' << std::hex << member.digest;
    endLine(console_);
  }
  endLine(console_);

  // A person answering sees the verdict before the first prompt, and is
  // warned before the prompt of a last copy; anyone else gets the prompts
  // alone, and nothing more is read for them. Once the input has ended no
  // prompt waits for an answer, so no verdict is worth its reading.
  const std::optional<ContentComparison> comparison = giveVerdict(group, console_, *fileSystem_);
  LastCopyWarning lastCopy(group, comparison ? &*comparison : nullptr, console_, *fileSystem_);
  const DeletionPrompt prompt(console_, *fileSystem_);
  for (std::size_t i = 0; i < group.size(); ++i) {
    lastCopy.beforePrompt(i);
    if (prompt(group[i])) lastCopy.removed(i);
  }
  endLine(console_);
}

}  // namespace dupsieve
