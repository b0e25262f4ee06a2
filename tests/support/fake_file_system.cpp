#include "tests/support/fake_file_system.h"

#include <algorithm>
#include <stdexcept>

#include "platform/path_parts.h"
#include "platform/wildcard_match.h"

namespace dupsieve::testing {
namespace {

constexpr int kMostLinksFollowed = 40;

bool isDirectory(const FakeNode& node) {
  return node.linkTarget.empty() && (node.attributes & kAttributeDirectory) != 0;
}

DirectoryEntry entryFor(const std::string& name, const FakeNode& node) {
  const bool listedWithSize = (node.attributes & (kAttributeDirectory | kAttributeSystem)) == 0;
  return DirectoryEntry{name, node.attributes, listedWithSize ? node.size : 0, node.inode,
                        FakeFileSystem::kDevice};
}

// Moves every key at or below `from` to the same place below `to`.
template <typename Map>
void moveKeys(Map& map, const std::string& from, const std::string& to) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : map) {
    if (key == from || key.rfind(from + "/", 0) == 0) keys.push_back(key);
  }
  for (const std::string& key : keys) {
    auto handle = map.extract(key);
    handle.key() = to + key.substr(from.size());
    map.insert(std::move(handle));
  }
}

// The directory in which a path's last component is looked up: the part
// before it without its last "/", "." when there is none, "/" for the root.
std::string directoryToResolve(const PathParts& parts) {
  if (parts.directory.empty()) return ".";
  if (parts.directory.size() == 1) return "/";
  return std::string(parts.directory.substr(0, parts.directory.size() - 1));
}

}  // namespace

// Hands out a copy of the contents, as they were when the file was opened,
// in pieces no longer than the file system's chunk size.
class FakeContentReader final : public ContentReader {
 public:
  FakeContentReader(FakeFileSystem& fileSystem, std::string contents)
      : fileSystem_(&fileSystem), contents_(std::move(contents)) {}

  std::optional<std::size_t> read(std::span<unsigned char> into) override {
    std::size_t filled = 0;
    while (filled < into.size() && position_ < contents_.size()) {
      const std::size_t count = std::min({fileSystem_->chunkSize, into.size() - filled,
                                          contents_.size() - position_});
      std::copy_n(contents_.begin() + static_cast<std::ptrdiff_t>(position_), count,
                  into.begin() + static_cast<std::ptrdiff_t>(filled));
      position_ += count;
      filled += count;
    }
    fileSystem_->bytesRead += filled;
    return filled;
  }

 private:
  FakeFileSystem* fileSystem_;
  std::string contents_;
  std::size_t position_ = 0;
};

// Lists a snapshot of its directory's entries, taken when it was made, and
// finds that directory again by its inode, as a descriptor would.
class FakeListing final : public DirectoryListing {
 public:
  FakeListing(FakeFileSystem& fileSystem, std::string spelledPrefix, std::uint64_t directoryInode,
              std::vector<DirectoryEntry> entries)
      : fileSystem_(&fileSystem),
        spelledPrefix_(std::move(spelledPrefix)),
        directoryInode_(directoryInode),
        entries_(std::move(entries)) {}
  const DirectoryEntry& entry() const override { return entries_[position_]; }
  bool next() override { return ++position_ < entries_.size(); }
  DirectoryId directory() const override { return {FakeFileSystem::kDevice, directoryInode_}; }

  std::unique_ptr<DirectoryListing> openSubdirectory() override {
    const DirectoryEntry& listed = entry();
    if ((listed.attributes & kAttributeDirectory) == 0 || listed.name == "." ||
        listed.name == "..") {
      return nullptr;
    }
    const std::string spelled = spelledPrefix_ + listed.name + "/";
    const std::string pattern = spelled + "*.*";
    fileSystem_->listedPatterns.push_back(pattern);
    if (fileSystem_->beforeListing) fileSystem_->beforeListing(pattern);

    const auto here = fileSystem_->pathOfDirectory(directoryInode_);
    if (!here) return nullptr;
    const std::string below = FakeFileSystem::childOf(*here, listed.name);
    const FakeNode* node = fileSystem_->findResolved(below);
    // Never through a link, and only the directory that was listed.
    if (node == nullptr || !isDirectory(*node) || node->inode != listed.inode) return nullptr;
    if (node->failOpen) {
      ++fileSystem_->unreadCount;
      return nullptr;
    }
    return fileSystem_->listing(spelled, node->inode, fileSystem_->entriesOf(below, "*.*"));
  }

 private:
  FakeFileSystem* fileSystem_;
  std::string spelledPrefix_;
  std::uint64_t directoryInode_;
  std::vector<DirectoryEntry> entries_;
  std::size_t position_ = 0;
};

FakeFileSystem::FakeFileSystem() {
  FakeNode root;
  root.attributes = kAttributeDirectory;
  root.inode = nextInode_++;
  nodes_.emplace("", root);
  FakeNode slash = root;
  slash.inode = nextInode_++;
  nodes_.emplace("/", slash);
}

std::string FakeFileSystem::resolve(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  while (from <= path.size()) {
    const auto slash = std::min(path.find('/', from), path.size());
    const std::string part = path.substr(from, slash - from);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    from = slash + 1;
  }
  std::string resolved = !path.empty() && path.front() == '/' ? "/" : "";
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) resolved += '/';
    resolved += parts[i];
  }
  return resolved;
}

std::string FakeFileSystem::parentOf(const std::string& resolved) {
  const auto slash = resolved.rfind('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : resolved.substr(0, slash);
}

std::string FakeFileSystem::nameOf(const std::string& resolved) {
  const auto slash = resolved.rfind('/');
  return slash == std::string::npos ? resolved : resolved.substr(slash + 1);
}

std::string FakeFileSystem::childOf(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  return directory == "/" ? "/" + name : directory + "/" + name;
}

std::optional<std::string> FakeFileSystem::followLinks(const std::string& path,
                                                      bool followLast) const {
  std::string current = resolve(path);
  for (int hops = 0; hops <= kMostLinksFollowed; ++hops) {
    const bool absolute = !current.empty() && current.front() == '/';
    std::string prefix = absolute ? "/" : "";
    std::size_t from = absolute ? 1 : 0;
    bool followed = false;
    while (from < current.size()) {
      const std::size_t end = std::min(current.find('/', from), current.size());
      prefix = childOf(prefix, current.substr(from, end - from));
      const bool last = end == current.size();
      const auto found = nodes_.find(prefix);
      if (found != nodes_.end() && !found->second.linkTarget.empty() && (!last || followLast)) {
        const std::string& target = found->second.linkTarget;
        const std::string base = target.front() == '/' ? target : childOf(parentOf(prefix), target);
        current = resolve(base + current.substr(end));
        followed = true;
        break;
      }
      from = end + 1;
    }
    if (!followed) return current;
  }
  return std::nullopt;
}

FakeNode& FakeFileSystem::addEntry(const std::string& path, FakeNode node) {
  const std::string resolved = resolve(path);
  if (resolved.empty() || resolved == "/") throw std::invalid_argument("no entry name: " + path);
  const std::string parent = parentOf(resolved);
  if (!nodes_.contains(parent)) addDirectory(parent);
  node.inode = nextInode_++;
  auto [where, inserted] = nodes_.insert_or_assign(resolved, std::move(node));
  if (inserted) children_[parent].push_back(nameOf(resolved));
  return where->second;
}

FakeNode& FakeFileSystem::addFile(const std::string& path, std::string contents) {
  const auto size = contents.size();
  return addSizedFile(path, size, std::move(contents));
}

FakeNode& FakeFileSystem::addSizedFile(const std::string& path, std::uint64_t size,
                                       std::string contents) {
  FakeNode node;
  node.size = size;
  node.contents = std::move(contents);
  return addEntry(path, std::move(node));
}

FakeNode& FakeFileSystem::addDirectory(const std::string& path) {
  const std::string resolved = resolve(path);
  if (auto found = nodes_.find(resolved); found != nodes_.end()) return found->second;
  FakeNode node;
  node.attributes = kAttributeDirectory;
  return addEntry(resolved, std::move(node));
}

FakeNode& FakeFileSystem::addHardLink(const std::string& path, const std::string& existing) {
  const FakeNode original = node(existing);
  FakeNode& added = addEntry(path, original);
  added.inode = original.inode;
  return added;
}

FakeNode& FakeFileSystem::addLink(const std::string& path, const std::string& target) {
  FakeNode node;
  node.attributes = kAttributeSystem;
  node.linkTarget = target;
  return addEntry(path, std::move(node));
}

FakeNode& FakeFileSystem::node(const std::string& path) {
  auto found = nodes_.find(resolve(path));
  if (found == nodes_.end()) throw std::out_of_range("no fake entry: " + path);
  return found->second;
}

DirectoryId FakeFileSystem::holderOf(const std::string& path) {
  return {kDevice, nodes_.at(parentOf(resolve(path))).inode};
}

bool FakeFileSystem::exists(const std::string& path) const { return find(path) != nullptr; }

const FakeNode* FakeFileSystem::findResolved(const std::string& resolved) const {
  auto found = nodes_.find(resolved);
  return found == nodes_.end() ? nullptr : &found->second;
}

const FakeNode* FakeFileSystem::find(const std::string& path) const {
  if (path.empty()) return nullptr;  // an empty path names nothing
  const auto resolved = followLinks(path, false);
  return resolved ? findResolved(*resolved) : nullptr;
}

std::optional<std::string> FakeFileSystem::pathOfDirectory(std::uint64_t inode) const {
  for (const auto& [path, node] : nodes_) {
    if (node.inode == inode && isDirectory(node)) return path;
  }
  return std::nullopt;
}

void FakeFileSystem::remove(const std::string& path) {
  const std::string resolved = resolve(path);
  if (!nodes_.contains(resolved)) throw std::out_of_range("no fake entry: " + path);
  std::erase_if(nodes_, [&](const auto& item) {
    return item.first == resolved || item.first.rfind(resolved + "/", 0) == 0;
  });
  std::erase_if(children_, [&](const auto& item) {
    return item.first == resolved || item.first.rfind(resolved + "/", 0) == 0;
  });
  auto& siblings = children_[parentOf(resolved)];
  siblings.erase(std::find(siblings.begin(), siblings.end(), nameOf(resolved)));
}

void FakeFileSystem::swap(const std::string& first, const std::string& second) {
  const std::string a = resolve(first);
  const std::string b = resolve(second);
  if (!nodes_.contains(a) || !nodes_.contains(b)) {
    throw std::out_of_range("cannot swap " + a + " and " + b);
  }
  const std::string parked = "\x01parked";
  for (const auto& [from, to] : {std::pair{a, parked}, std::pair{b, a}, std::pair{parked, b}}) {
    moveKeys(nodes_, from, to);
    moveKeys(children_, from, to);
  }
}

std::vector<DirectoryEntry> FakeFileSystem::entriesOf(const std::string& directory,
                                                      const std::string& component) {
  const FakeNode& holder = *findResolved(directory);
  const FakeNode* parent = directory.empty() ? &holder : findResolved(resolve(directory + "/.."));
  if (parent == nullptr) parent = &holder;
  std::vector<DirectoryEntry> all{entryFor(".", holder), entryFor("..", *parent)};
  for (const std::string& name : children_[directory]) {
    all.push_back(entryFor(name, nodes_.at(childOf(directory, name))));
  }
  std::vector<DirectoryEntry> entries;
  for (DirectoryEntry& entry : all) {
    if (matchesWildcard(component, entry.name)) entries.push_back(std::move(entry));
  }
  return entries;
}

std::unique_ptr<DirectoryListing> FakeFileSystem::listing(const std::string& spelledPrefix,
                                                          std::uint64_t directoryInode,
                                                          std::vector<DirectoryEntry> entries) {
  if (entries.empty()) return nullptr;
  return std::make_unique<FakeListing>(*this, spelledPrefix, directoryInode, std::move(entries));
}

std::unique_ptr<DirectoryListing> FakeFileSystem::findFirst(const std::string& pattern) {
  listedPatterns.push_back(pattern);
  if (beforeListing) beforeListing(pattern);
  const PathParts parts = splitAtLastSlash(pattern);
  const std::string spelledPrefix(parts.directory);
  const std::string directoryPart = directoryToResolve(parts);
  const std::string component(parts.name);
  if (component.empty()) return nullptr;

  // What the user named is resolved as any path is, links included.
  const auto followed = followLinks(directoryPart, true);
  if (!followed) return nullptr;
  const std::string& directory = *followed;
  const FakeNode* holder = findResolved(directory);
  if (holder == nullptr || !isDirectory(*holder) || holder->failOpen) return nullptr;

  if (hasWildcards(component)) {
    return listing(spelledPrefix, holder->inode, entriesOf(directory, component));
  }
  const FakeNode* named =
      component == "." ? holder : findResolved(resolve(childOf(directory, component)));
  if (named == nullptr) return nullptr;
  return listing(spelledPrefix, holder->inode, {entryFor(component, *named)});
}

bool FakeFileSystem::readLeadingBytes(const std::string& path, std::uint64_t length,
                                      ByteSink& sink) {
  const FakeNode* found = find(path);
  if (found == nullptr || found->failOpen ||
      (found->attributes & (kAttributeDirectory | kAttributeSystem)) != 0) {
    return false;
  }
  readPaths.push_back(path);
  const std::string& data = found->contents;
  const std::size_t total =
      static_cast<std::size_t>(std::min<std::uint64_t>(length, data.size()));
  for (std::size_t at = 0; at < total; at += chunkSize) {
    const std::size_t count = std::min(chunkSize, total - at);
    sink.consume(std::span(reinterpret_cast<const unsigned char*>(data.data()) + at, count));
  }
  bytesRead += total;
  return true;
}

Removal FakeFileSystem::removeListedFile(const std::string& path, const ListedFile& listed) {
  const PathParts parts = splitAtLastSlash(path);
  const std::string directoryPart = directoryToResolve(parts);
  const std::string name(parts.name);
  if (name.empty()) return Removal::Gone;

  const auto followed = followLinks(directoryPart, true);
  if (!followed) return Removal::Gone;
  const std::string& directory = *followed;
  const FakeNode* holder = findResolved(directory);
  if (holder == nullptr || !isDirectory(*holder)) return Removal::Gone;
  if (DirectoryId{kDevice, holder->inode} != listed.directory) return Removal::DirectoryReplaced;

  const std::string entryPath = resolve(childOf(directory, name));
  const FakeNode* entry = findResolved(entryPath);
  if (entry == nullptr) return Removal::Gone;
  if (listed.device != kDevice || entry->inode != listed.inode) return Removal::Changed;
  if (isDirectory(*entry)) return Removal::Directory;
  if ((entry->attributes & kAttributeSystem) != 0) return Removal::NotAFile;
  if (entry->size != listed.size) return Removal::Changed;
  if (entry->deleteFailsWith) return *entry->deleteFailsWith;

  remove(entryPath);
  deletedPaths.push_back(path);
  return Removal::Removed;
}

OpenedContent FakeFileSystem::openListedFile(const std::string& path, const ListedFile& listed) {
  const FakeNode* found = find(path);
  if (found == nullptr) return {ContentOpening::Gone, nullptr};
  const bool regular =
      found->linkTarget.empty() && (found->attributes & (kAttributeDirectory | kAttributeSystem)) == 0;
  if (!regular || found->size != listed.size || (listed.inode != 0 && found->inode != listed.inode) ||
      (listed.device != 0 && listed.device != kDevice)) {
    return {ContentOpening::Changed, nullptr};
  }
  if (found->failOpen) return {ContentOpening::Unreadable, nullptr};
  readPaths.push_back(path);
  return {ContentOpening::Opened, std::make_unique<FakeContentReader>(*this, found->contents)};
}

}  // namespace dupsieve::testing
