#include "platform/real_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <span>

#include "platform/linux/anchored_heads.h"
#include "platform/linux/background_heads.h"
#include "platform/linux/batch/batch_io.h"
#include "platform/linux/batch/second_thread.h"
#include "platform/linux/content_reader.h"
#include "platform/linux/descriptor_shares.h"
#include "platform/linux/listed_file.h"
#include "platform/linux/listing.h"
#include "platform/linux/long_path.h"
#include "platform/linux/system_calls.h"
#include "platform/path_parts.h"
#include "platform/wildcard_match.h"

namespace dupsieve {
namespace {

using linux_io::BatchChoice;
using linux_io::BatchIo;
using linux_io::BatchSettings;
using linux_io::EnginePerThread;
using linux_io::EntryMetadata;
using linux_io::UniqueFd;

BatchSettings batchSettings(const PreferredCalls& preferred,
                            const linux_io::DescriptorShares& shares) {
  BatchSettings settings;
  settings.depth = shares.inFlight;
  settings.readWithoutWaiting = preferred.readWithoutWaiting;
  settings.extendedStatus = preferred.extendedStatus;
  return settings;
}

Removal removalFailure(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return Removal::Gone;
    case EACCES:
    case EPERM: return Removal::PermissionDenied;
    case EBUSY: return Removal::InUse;
    case EROFS: return Removal::ReadOnly;
    case EISDIR: return Removal::Directory;
    default: return Removal::Refused;
  }
}

}  // namespace

struct RealFileSystem::State {
  explicit State(const PreferredCalls& preferred)
      : calls(preferred),
        shares(linux_io::descriptorSharesOfThisProcess()),
        budget(shares.directoriesHeldOpen),
        settings(batchSettings(preferred, shares)),
        engines(preferred.batchRing ? BatchChoice::Automatic : BatchChoice::PlainCalls,
                settings) {}
  linux_io::SystemCalls calls;
  linux_io::DescriptorShares shares;
  linux_io::DescriptorBudget budget;
  BatchSettings settings;
  EnginePerThread engines;
  // Started on the first batch large enough to share; stopped before the engines.
  linux_io::SecondThread second{engines.mode(), settings, calls};
  std::uint64_t unreadDirectories = 0;
  // Started on the first batch handed over during the walk; last, so stopped first.
  linux_io::BackgroundHeads background{engines.mode(), settings, calls,
                                       shares.directoriesPerRound};
};

RealFileSystem::RealFileSystem(PreferredCalls preferred)
    : state_(std::make_unique<State>(preferred)) {}

RealFileSystem::~RealFileSystem() = default;

std::unique_ptr<DirectoryListing> RealFileSystem::findFirst(const std::string& pattern) {
  const PathParts parts = splitAtLastSlash(pattern);
  if (parts.name.empty()) return nullptr;
  const std::string directory = openableDirectory(parts.directory);
  const linux_io::ListingContext context{&state_->calls, &state_->budget, &state_->engines,
                                         &state_->second, &state_->unreadDirectories};
  if (hasWildcards(parts.name)) {
    return linux_io::listMatchingEntries(context, directory, parts.name);
  }
  return linux_io::listNamedEntry(context, directory, std::string(parts.name));
}

bool RealFileSystem::readLeadingBytes(const std::string& path, std::uint64_t length,
                                      ByteSink& sink) {
  // A batch of one, nothing known of the file: the whole path is resolved
  // at every read, so that a directory replaced since an earlier read is
  // never read through what that read kept.
  const PathParts parts = splitAtLastSlash(path);
  HeadRead read{parts.directory, parts.name, {}, length, &sink};
  readHeads(std::span<HeadRead>(&read, 1));
  return read.read;
}

void RealFileSystem::readHeads(std::span<HeadRead> reads) {
  const auto readPart = [reads, perRound = state_->shares.directoriesPerRound](
                            BatchIo& engine, linux_io::SystemCalls& calls, std::size_t first,
                            std::size_t end) {
    linux_io::readAnchoredHeads(reads.subspan(first, end - first), engine, calls, perRound);
  };
  state_->second.split(reads.size(), state_->engines, state_->calls, readPart);
}

std::unique_ptr<OwnedHeads> RealFileSystem::startHeads(std::unique_ptr<OwnedHeads> batch) {
  std::unique_ptr<linux_io::BatchIo> opened;
  std::unique_ptr<OwnedHeads> back =
      state_->background.start(std::move(batch), state_->engines.here(opened), state_->calls);
  // While heads are read beside the walk, the second processor is theirs:
  // sharing the walk's lookups with it too cost more than it saved.
  state_->second.lend(state_->background.started());
  return back;
}

std::vector<std::unique_ptr<OwnedHeads>> RealFileSystem::collectHeads(bool wait) {
  std::vector<std::unique_ptr<OwnedHeads>> read = state_->background.collect(wait);
  if (wait) state_->second.lend(false);
  return read;
}

Removal RealFileSystem::removeListedFile(const std::string& path, const ListedFile& listed) {
  const PathParts parts = splitAtLastSlash(path);
  if (parts.name.empty()) return Removal::Gone;
  const std::string name(parts.name);

  // The directory part was resolved from what the user named when it was
  // listed, links included; its identity tells whether it is still the
  // directory the file was listed in.
  UniqueFd at(linux_io::openDirectoryPart(state_->calls, parts.directory));
  if (at.get() < 0) return removalFailure(errno);
  if (!linux_io::isListedDirectory(state_->calls, at.get(), listed.directory)) {
    return Removal::DirectoryReplaced;
  }

  const std::optional<EntryMetadata> now = state_->calls.statusAt(at.get(), name.c_str());
  if (!now) return removalFailure(errno);
  switch (linux_io::matchListed(*now, listed)) {
    case linux_io::ListedMatch::Same: break;
    case linux_io::ListedMatch::Changed: return Removal::Changed;
    case linux_io::ListedMatch::Directory: return Removal::Directory;
    case linux_io::ListedMatch::NotAFile: return Removal::NotAFile;
  }

  // Relative to the directory checked above: whatever happens to the path
  // meanwhile, only an entry of that directory can be removed, and never a
  // directory (no AT_REMOVEDIR).
  // Only the account needs the link count, so a failed look costs nothing.
  struct stat links {};
  const bool otherNames =
      ::fstatat(at.get(), name.c_str(), &links, AT_SYMLINK_NOFOLLOW) == 0 && links.st_nlink > 1;
  if (::unlinkat(at.get(), name.c_str(), 0) != 0) return removalFailure(errno);
  return otherNames ? Removal::RemovedName : Removal::Removed;
}

std::uint64_t RealFileSystem::unreadDirectories() const { return state_->unreadDirectories; }

OpenedContent RealFileSystem::openListedFile(const std::string& path, const ListedFile& listed) {
  return linux_io::openListedContent(state_->calls, path, listed);
}

}  // namespace dupsieve
