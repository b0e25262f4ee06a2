#include "platform/linux/listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "platform/linux/descriptor_shares.h"
#include "platform/linux/listed_file.h"
#include "platform/path_parts.h"
#include "platform/wildcard_match.h"

namespace dupsieve::linux_io {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

constexpr std::string_view kEveryName = "*.*";

// Entries read ahead of the walk and looked up together: enough for the
// device to serve many lookups at once when they are not in memory.
constexpr std::size_t kLookUpBatch = 1024;

// Anything that is neither a regular file nor a directory is a "system"
// entry, which the walk never records, opens or descends: links cannot make
// it loop and a FIFO cannot make it hang.
void describeByMetadata(const EntryMetadata& metadata, DirectoryEntry& entry) {
  entry.inode = metadata.inode;
  entry.device = metadata.device;
  entry.modified = metadata.modified;
  entry.born = metadata.born;
  entry.size = 0;
  switch (metadata.kind) {
    case EntryKind::Regular:
      entry.attributes = 0;
      entry.size = metadata.size;
      break;
    case EntryKind::Directory: entry.attributes = kAttributeDirectory; break;
    case EntryKind::Link:
    case EntryKind::Other: entry.attributes = kAttributeSystem; break;
  }
}

// Fills in the entries of a block that `asked` names, one per lookup, and
// marks those that vanished meanwhile. The two halves of a block may be told
// at once, from two threads.
class LookedUp final : public MetadataSink {
 public:
  LookedUp(std::vector<DirectoryEntry>& block, std::span<const std::size_t> asked,
           std::vector<char>& vanished)
      : block_(block), asked_(asked), vanished_(vanished) {}
  void entry(std::size_t index, const std::optional<EntryMetadata>& metadata) override {
    if (metadata) {
      describeByMetadata(*metadata, block_[asked_[index]]);
    } else {
      vanished_[asked_[index]] = true;
    }
  }

 private:
  std::vector<DirectoryEntry>& block_;
  std::span<const std::size_t> asked_;
  std::vector<char>& vanished_;  // not vector<bool>: neighbours are written apart
};

// Opens through `open` (which returns a descriptor, or -1 with errno set),
// giving descriptors of the budget back for as long as the open finds none
// free and one is left to give.
template <typename Open>
int openWithRoom(DescriptorBudget& budget, const OpenDirectory* keep, Open open) {
  for (;;) {
    const int fd = open();
    if (fd >= 0 || !isOutOfDescriptors(errno) || !budget.giveBack(keep)) return fd;
  }
}

}  // namespace

// One directory under listing. It reads its entries from a stream while it
// holds a descriptor; when the budget takes the descriptor away, it reads the
// rest ahead into memory first. Its descriptor also serves to open its
// subdirectories, so it is opened again when needed: from the subdirectory
// being left (its ".."), or from the nearest open directory above it, one
// name at a time, each checked to be the directory that was listed.
class OpenDirectory final : public std::enable_shared_from_this<OpenDirectory> {
 public:
  // A directory reached from `parent` by the name `reachBy`, or, without a
  // parent, by the path `reachBy` as the user named it.
  OpenDirectory(const ListingContext& context, std::shared_ptr<OpenDirectory> parent,
                std::string reachBy, DirectoryId id, std::string_view component)
      : context_(context),
        parent_(std::move(parent)),
        reachBy_(std::move(reachBy)),
        id_(id),
        component_(component),
        everyName_(component == kEveryName) {}

  OpenDirectory(const OpenDirectory&) = delete;
  OpenDirectory& operator=(const OpenDirectory&) = delete;

  ~OpenDirectory() {
    // Leaving a directory for the one above: if that one gave its
    // descriptor up and is still being listed, ".." gets it back in one step.
    UniqueFd up;
    if (parent_ && parent_.use_count() > 1 && parent_->descriptorIfOpen() < 0 &&
        !parent_->lost_ && descriptorIfOpen() >= 0) {
      up = UniqueFd(context_.calls->openDirectoryHandle(descriptorIfOpen(), "..", O_NOFOLLOW));
    }
    closeDescriptor();
    if (up.get() >= 0 && isListedDirectory(*context_.calls, up.get(), parent_->id_)) {
      parent_->adopt(std::move(up));
    }
  }

  DirectoryId id() const { return id_; }

  void startStream(UniqueDir stream) {
    stream_ = std::move(stream);
    context_.budget->opened(*this);
  }

  void adopt(UniqueFd handle) {
    handle_ = std::move(handle);
    context_.budget->opened(*this);
  }

  // An entry known already, such as the one a pattern without wildcards
  // names.
  void addPending(DirectoryEntry entry) { pending_.push_back(std::move(entry)); }

  // The next entry that matches, or false at the end.
  bool read(DirectoryEntry& entry) {
    while (pending_.empty()) {
      if (!readBlockFromStream()) return false;
    }
    entry = std::move(pending_.front());
    pending_.pop_front();
    return true;
  }

  // Called by the budget: keeps what is left to read, then closes.
  void giveUpDescriptor() {
    while (readBlockFromStream()) {
    }
    stream_.reset();
    handle_.reset();
  }

  int descriptorIfOpen() const { return stream_ ? ::dirfd(stream_.get()) : handle_.get(); }

  // The directory `entry` of this one names, if it is still the directory
  // listed: opened without following a link and checked by identity.
  std::shared_ptr<OpenDirectory> openChild(const DirectoryEntry& entry) {
    if ((entry.attributes & kAttributeDirectory) == 0 || isDotOrDotDot(entry.name)) return nullptr;
    const int at = descriptor();
    if (at < 0) return nullptr;
    UniqueFd fd(openWithRoom(*context_.budget, this, [&] {
      return ::openat(at, entry.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }));
    const DirectoryId listed{entry.device, entry.inode, entry.born};
    if (fd.get() < 0) countIfUnread(errno);
    if (fd.get() < 0 || !isListedDirectory(*context_.calls, fd.get(), listed)) return nullptr;
    UniqueDir stream(::fdopendir(fd.get()));
    if (!stream) return nullptr;
    fd.release();
    auto child = std::make_shared<OpenDirectory>(context_, shared_from_this(), entry.name, listed,
                                                 kEveryName);
    child->startStream(std::move(stream));
    return child;
  }

 private:
  friend class DescriptorBudget;

  // A directory that was there but could not be opened: gone, no longer a
  // directory or now a link are what a walk passes over by design.
  void countIfUnread(int error) const {
    if (error != ENOENT && error != ENOTDIR && error != ELOOP) ++*context_.unread;
  }

  void closeDescriptor() {
    if (descriptorIfOpen() >= 0) context_.budget->closed(*this);
    stream_.reset();
    handle_.reset();
  }

  // Reads the next block of matching entries into `pending_`, in the order
  // of the directory, looking up together those whose type the read does
  // not tell enough: regular files need their size, and directories their
  // device too, since a mount point's own inode is not the one the read
  // reports. Entries that vanished meanwhile are left out. False at the end.
  bool readBlockFromStream() {
    if (!stream_) return false;
    std::vector<DirectoryEntry> block;
    std::vector<std::size_t> asked;
    while (block.size() < kLookUpBatch) {
      const dirent* raw = ::readdir(stream_.get());
      if (raw == nullptr) break;
      if (!everyName_ && !matchesWildcard(component_, raw->d_name)) continue;
      DirectoryEntry& entry = block.emplace_back();
      if (!describeByType(*raw, entry)) asked.push_back(block.size() - 1);
    }
    if (block.empty()) return false;

    std::vector<char> vanished(block.size(), 0);
    if (!asked.empty()) {
      std::vector<EntryRequest> requests;
      requests.reserve(asked.size());
      const int at = ::dirfd(stream_.get());
      for (const std::size_t k : asked) requests.push_back({at, block[k].name.c_str()});
      // Each lookup fills in its own entry, so the order of the listing
      // stays whoever looks it up.
      const auto lookUpPart = [&](BatchIo& engine, SystemCalls&, std::size_t first,
                                  std::size_t end) {
        LookedUp sink(block, std::span(asked).subspan(first, end - first), vanished);
        engine.lookUp(std::span(requests).subspan(first, end - first), sink);
      };
      context_.second->split(requests.size(), *context_.engines, *context_.calls, lookUpPart);
    }
    for (std::size_t k = 0; k < block.size(); ++k) {
      if (!vanished[k]) pending_.push_back(std::move(block[k]));
    }
    return true;
  }

  // Describes a directory-read entry from its type alone where that is
  // enough; false when it must be looked up.
  bool describeByType(const dirent& raw, DirectoryEntry& entry) const {
    entry.name.assign(raw.d_name);
    switch (raw.d_type) {
      case DT_DIR:
        if (!isDotOrDotDot(entry.name)) return false;
        [[fallthrough]];
      case DT_LNK:
      case DT_FIFO:
      case DT_SOCK:
      case DT_CHR:
      case DT_BLK:
        entry.attributes = raw.d_type == DT_DIR ? kAttributeDirectory : kAttributeSystem;
        entry.size = 0;
        entry.inode = raw.d_ino;
        entry.device = id_.device;
        return true;
      default:
        return false;
    }
  }

  // This directory's descriptor, opened again if it was given up.
  int descriptor() {
    if (descriptorIfOpen() >= 0) {
      context_.budget->used(*this);
      return descriptorIfOpen();
    }
    std::vector<OpenDirectory*> closed;
    for (OpenDirectory* at = this; at != nullptr && at->descriptorIfOpen() < 0;
         at = at->parent_.get()) {
      if (at->lost_) return -1;
      closed.push_back(at);
    }
    // From the nearest open directory down: each step one name, no link
    // followed (but for a top directory, which is what the user named).
    for (auto step = closed.rbegin(); step != closed.rend(); ++step) {
      OpenDirectory& directory = **step;
      const int base = directory.parent_ ? directory.parent_->descriptorIfOpen() : AT_FDCWD;
      UniqueFd fd;
      if (!directory.parent_ || base >= 0) {
        fd = UniqueFd(openWithRoom(*context_.budget, directory.parent_.get(), [&] {
          return context_.calls->openDirectoryHandle(base, directory.reachBy_.c_str(),
                                                     directory.parent_ ? O_NOFOLLOW : 0);
        }));
      }
      if (fd.get() < 0) countIfUnread(errno);
      if (fd.get() < 0 || !isListedDirectory(*context_.calls, fd.get(), directory.id_)) {
        directory.lost_ = true;
        return -1;
      }
      directory.adopt(std::move(fd));
    }
    return descriptorIfOpen();
  }

  ListingContext context_;
  std::shared_ptr<OpenDirectory> parent_;
  std::string reachBy_;
  DirectoryId id_;
  std::string component_;
  bool everyName_;
  UniqueDir stream_;    // while entries are read from the directory; owns its descriptor
  UniqueFd handle_;     // otherwise, a descriptor held only to reach what is inside
  std::deque<DirectoryEntry> pending_;
  bool lost_ = false;   // could not be reached again as the directory listed
  std::list<OpenDirectory*>::iterator budgetPosition_;
};

void DescriptorBudget::opened(OpenDirectory& directory) {
  directory.budgetPosition_ = open_.insert(open_.end(), &directory);
  while (open_.size() > limit_) {
    OpenDirectory* oldest = open_.front();
    open_.pop_front();
    oldest->giveUpDescriptor();
  }
}

bool DescriptorBudget::giveBack(const OpenDirectory* keep) {
  for (auto at = open_.begin(); at != open_.end(); ++at) {
    if (*at == keep) continue;
    OpenDirectory* oldest = *at;
    open_.erase(at);
    oldest->giveUpDescriptor();
    limit_ = std::max<std::size_t>(open_.size() + 1, 2);
    return true;
  }
  return false;
}

void DescriptorBudget::used(OpenDirectory& directory) {
  open_.splice(open_.end(), open_, directory.budgetPosition_);
}

void DescriptorBudget::closed(OpenDirectory& directory) { open_.erase(directory.budgetPosition_); }

namespace {

class Listing final : public DirectoryListing {
 public:
  explicit Listing(std::shared_ptr<OpenDirectory> directory) : directory_(std::move(directory)) {}
  const DirectoryEntry& entry() const override { return entry_; }
  bool next() override { return directory_->read(entry_); }
  DirectoryId directory() const override { return directory_->id(); }
  std::unique_ptr<DirectoryListing> openSubdirectory() override {
    return positioned(directory_->openChild(entry_));
  }

  // A listing of `directory` on its first entry; null when there is none.
  static std::unique_ptr<DirectoryListing> positioned(std::shared_ptr<OpenDirectory> directory) {
    if (!directory) return nullptr;
    auto listing = std::make_unique<Listing>(std::move(directory));
    if (!listing->next()) return nullptr;
    return listing;
  }

 private:
  std::shared_ptr<OpenDirectory> directory_;
  DirectoryEntry entry_;
};

}  // namespace

std::unique_ptr<DirectoryListing> listMatchingEntries(const ListingContext& context,
                                                      const std::string& directoryPath,
                                                      std::string_view component) {
  UniqueFd fd(openWithRoom(*context.budget, nullptr, [&] {
    return ::open(directoryPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }));
  DirectoryId id;
  if (fd.get() < 0 || !identify(*context.calls, fd.get(), id)) return nullptr;
  UniqueDir stream(::fdopendir(fd.get()));
  if (!stream) return nullptr;
  fd.release();
  auto directory = std::make_shared<OpenDirectory>(context, nullptr, directoryPath, id, component);
  directory->startStream(std::move(stream));
  return Listing::positioned(std::move(directory));
}

std::unique_ptr<DirectoryListing> listNamedEntry(const ListingContext& context,
                                                 const std::string& directoryPath,
                                                 const std::string& name) {
  UniqueFd fd(openWithRoom(*context.budget, nullptr, [&] {
    return context.calls->openDirectoryHandle(AT_FDCWD, directoryPath.c_str(), 0);
  }));
  DirectoryId id;
  if (fd.get() < 0 || !identify(*context.calls, fd.get(), id)) return nullptr;
  const std::optional<EntryMetadata> status = context.calls->statusAt(fd.get(), name.c_str());
  if (!status) return nullptr;
  DirectoryEntry entry;
  entry.name = name;
  describeByMetadata(*status, entry);
  auto directory = std::make_shared<OpenDirectory>(context, nullptr, directoryPath, id, name);
  directory->adopt(std::move(fd));
  directory->addPending(std::move(entry));
  return Listing::positioned(std::move(directory));
}

}  // namespace dupsieve::linux_io
