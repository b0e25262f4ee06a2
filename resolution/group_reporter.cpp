#include "resolution/group_reporter.h"

#include "resolution/deletion_prompt.h"
#include "resolution/group_verdict.h"
#include "resolution/shown_path.h"

namespace dupsieve {
namespace {

constexpr std::int32_t kReportBlockSize = 256;

}  // namespace

void GroupReporter::operator()(Group& group) const {
  for (FileRecord& member : group) {
    writeShownPath(console_.out, member.path, console_.escapeControls);
    const std::uint32_t digest = member.sampleDigest(kReportBlockSize, *fileSystem_);
    console_.out << '\t' << std::dec << member.size << '\t' << std::hex << digest << '\n'
                 << std::flush;
  }
  console_.out << '\n' << std::flush;

  // A person answering sees the verdict before the first prompt, and is
  // warned before the prompt of a last copy; anyone else gets the prompts
  // alone, and nothing more is read for them. Once the input has ended no
  // prompt waits for an answer, so no verdict is worth its reading.
  GroupVerdict verdict(group, console_, *fileSystem_);
  const DeletionPrompt prompt(console_, *fileSystem_);
  for (std::size_t i = 0; i < group.size(); ++i) {
    verdict.beforePrompt(i);
    if (prompt(group[i])) verdict.removed(i);
  }
  console_.out << '\n' << std::flush;
}

}  // namespace dupsieve
