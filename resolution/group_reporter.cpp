#include "resolution/group_reporter.h"

#include "resolution/deletion_prompt.h"
#include "resolution/shown_path.h"

namespace dupsieve {
namespace {

constexpr std::int32_t kReportBlockSize = 256;

}  // namespace

void GroupReporter::operator()(Group& group) const {
  for (FileRecord& member : group) {
    writeShownPath(console_.out, member.path(), console_.escapeControls);
    const std::uint32_t digest = member.sampleDigest(kReportBlockSize, *fileSystem_);
    console_.out << '\t' << std::dec << member.size << '\t' << std::hex << digest;
    endLine(console_);
  }
  endLine(console_);

  const DeletionPrompt prompt(console_, *fileSystem_);
  for (const FileRecord& member : group) prompt(member);
  endLine(console_);
}

}  // namespace dupsieve
