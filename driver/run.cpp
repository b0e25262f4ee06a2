#include "driver/run.h"

#include <string_view>
#include <vector>

#include "catalogue/directory_walker.h"
#include "driver/hints.h"
#include "driver/status_line_progress.h"
#include "narrowing/repeated_registrations.h"
#include "narrowing/same_digest_groups.h"
#include "narrowing/same_size_candidates.h"
#include "resolution/group_reporter.h"

namespace dupsieve {
namespace {

void writeProgress(const Console& console, std::string_view text) {
  console.out << text;
  endLine(console);
}

// Counts are decimal even though the group report leaves the stream in hex.
void writeCount(const Console& console, std::size_t count, std::string_view text) {
  console.out << std::dec << count << text;
  endLine(console);
}

}  // namespace

void runSearch(const Settings& settings, FileSystem& fileSystem, std::istream& in,
               std::ostream& out, bool escapeControls, Notes& notes, bool flushEachLine) {
  const Console console{out, in, escapeControls, notes, flushEachLine};
  std::vector<FileRecord> files;
  std::vector<Group> groups;

  // A live counter on a terminal's standard error while the long stages
  // run; erased before the next line of standard output.
  StatusLineProgress progress(notes);

  // What the command line alone tells is worth knowing before a long walk.
  writeCommandLineHints(settings, fileSystem, notes);
  writeProgress(console, "serching all files.");
  // The heads of files that already share their size are read while the
  // walk goes on.
  HeadsAhead ahead(files, settings.blockSize, fileSystem);
  const DirectoryWalker walker(files, settings.includeEmpty, settings.recurse, fileSystem,
                               progress, &ahead);
  for (const std::string& start : settings.startDirectories) walker(start);
  ahead.finish();
  // Before anything else walks the tree again.
  const std::uint64_t unreadDirectories = fileSystem.unreadDirectories();
  notes.clearStatus();
  const std::size_t filesFound = files.size();
  notes.filesFound(filesFound);
  writeCount(console, filesFound, " files were found.");

  writeProgress(console, "removing file-info registered repeatedly.");
  compareMode = CompareMode::ByPath;
  removeRepeatedRegistrations(files);
  writeCount(console, files.size(), " files were actually found.");

  writeProgress(console, "serching doubtful same-sized files.");
  compareMode = CompareMode::BySizeAndDigest;
  selectSameSizeCandidates(files);
  writeCount(console, files.size(), " files were found.");

  writeProgress(console, "serching doubtful same-hashed files.");
  groupSameDigestFiles(files, settings.blockSize, groups, fileSystem, progress);
  notes.clearStatus();
  writeCount(console, groups.size(), " pairs of doubtful files were found.");
  // Notes never overtake the lines they follow on a screen they share.
  if (notes.errorIsTerminal()) out << std::flush;
  writeResultHints(settings, filesFound, unreadDirectories, fileSystem, notes);
  endLine(console);

  const GroupReporter report(console, fileSystem);
  for (Group& group : groups) report(group);
  if (notes.personAnswering()) out << std::flush;
  notes.writeAccount();
}

}  // namespace dupsieve
