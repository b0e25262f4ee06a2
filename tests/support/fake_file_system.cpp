#include "tests/support/fake_file_system.h"

#include <algorithm>
#include <stdexcept>

#include "platform/wildcard_match.h"

namespace dupsieve::testing {
namespace {

constexpr std::uint64_t kDevice = 7;

class FakeListing final : public DirectoryListing {
 public:
  FakeListing(std::vector<DirectoryEntry> entries, DirectoryId id)
      : entries_(std::move(entries)), id_(id) {}
  const DirectoryEntry& entry() const override { return entries_[position_]; }
  bool next() override { return ++position_ < entries_.size(); }
  DirectoryId directory() const override { return id_; }

 private:
  std::vector<DirectoryEntry> entries_;
  std::size_t position_ = 0;
  DirectoryId id_;
};

DirectoryEntry entryFor(const std::string& name, const FakeNode& node) {
  const bool listedWithSize = (node.attributes & (kAttributeDirectory | kAttributeSystem)) == 0;
  return DirectoryEntry{name, node.attributes, listedWithSize ? node.size : 0, node.inode};
}

}  // namespace

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

FakeNode& FakeFileSystem::node(const std::string& path) {
  auto found = nodes_.find(resolve(path));
  if (found == nodes_.end()) throw std::out_of_range("no fake entry: " + path);
  return found->second;
}

bool FakeFileSystem::exists(const std::string& path) const { return find(path) != nullptr; }

const FakeNode* FakeFileSystem::find(const std::string& path) const {
  if (path.empty()) return nullptr;  // an empty path names nothing
  auto found = nodes_.find(resolve(path));
  return found == nodes_.end() ? nullptr : &found->second;
}

std::unique_ptr<DirectoryListing> FakeFileSystem::findFirst(const std::string& pattern) {
  listedPatterns.push_back(pattern);
  const auto slash = pattern.rfind('/');
  const std::string directoryPart =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : pattern.substr(0, slash));
  const std::string component = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  if (component.empty()) return nullptr;

  const std::string directory = resolve(directoryPart);
  const FakeNode* holder = directory.empty() ? &nodes_.at("") : find(directoryPart);
  if (holder == nullptr || (holder->attributes & kAttributeDirectory) == 0) return nullptr;
  const DirectoryId id{kDevice, holder->inode};

  std::vector<DirectoryEntry> entries;
  if (!hasWildcards(component)) {
    const std::string target = directory.empty() ? component : directory + "/" + component;
    const FakeNode* named = component == "." ? holder : find(target);
    if (named == nullptr) return nullptr;
    entries.push_back(entryFor(component, *named));
  } else {
    const FakeNode* parent = directory.empty() ? holder : find(directory + "/..");
    if (parent == nullptr) parent = holder;
    std::vector<DirectoryEntry> all{entryFor(".", *holder), entryFor("..", *parent)};
    for (const std::string& name : children_[directory]) {
      const std::string child = directory.empty() ? name
                                : directory == "/" ? "/" + name
                                                   : directory + "/" + name;
      all.push_back(entryFor(name, nodes_.at(child)));
    }
    for (DirectoryEntry& entry : all) {
      if (matchesWildcard(component, entry.name)) entries.push_back(std::move(entry));
    }
  }
  if (entries.empty()) return nullptr;
  return std::make_unique<FakeListing>(std::move(entries), id);
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

std::optional<FileStatus> FakeFileSystem::status(const std::string& path) {
  const FakeNode* found = find(path);
  if (found == nullptr) return std::nullopt;
  FileStatus result;
  result.inode = found->inode;
  if ((found->attributes & kAttributeDirectory) != 0) {
    result.type = FileType::Directory;
  } else if ((found->attributes & kAttributeSystem) != 0) {
    result.type = FileType::Other;
  } else {
    result.type = FileType::Regular;
    result.size = found->size;
  }
  return result;
}

bool FakeFileSystem::removeFile(const std::string& path) {
  const FakeNode* found = find(path);
  if (found == nullptr || found->failDelete || (found->attributes & kAttributeDirectory) != 0) {
    return false;
  }
  const std::string resolved = resolve(path);
  auto& siblings = children_[parentOf(resolved)];
  siblings.erase(std::find(siblings.begin(), siblings.end(), nameOf(resolved)));
  nodes_.erase(resolved);
  deletedPaths.push_back(path);
  return true;
}

}  // namespace dupsieve::testing
