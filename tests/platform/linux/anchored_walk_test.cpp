// The Linux file system under attack and in restricted places, on real
// trees: directories swapped for links during the walk and before a
// deletion, FIFOs where files were, refused newer calls, deep trees.

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/directory_walker.h"
#include "platform/real_file_system.h"
#include "tests/platform/linux/tree_changes.h"
#include "tests/support/batch_read.h"
#include "tests/support/listings.h"
#include "tests/support/temp_dir.h"

namespace dupsieve {
namespace {

using testing::exchange;
using testing::linkAt;
using testing::pathsOf;
using testing::StringSink;
using testing::TempDir;
using testing::walk;

// The real file system, watched: a hook runs before every descent into a
// directory, given its name, as the walk makes it (through the listing that
// reported it); another runs after.
class WatchedFileSystem final : public FileSystem {
 public:
  std::function<void(const std::string& name)> beforeDescent = [](const std::string&) {};
  std::function<void()> afterDescent = [] {};

  std::unique_ptr<DirectoryListing> findFirst(const std::string& pattern) override {
    return wrap(real_.findFirst(pattern));
  }
  bool readLeadingBytes(const std::string& path, std::uint64_t length, ByteSink& sink) override {
    return real_.readLeadingBytes(path, length, sink);
  }
  Removal removeListedFile(const std::string& path, const ListedFile& listed) override {
    return real_.removeListedFile(path, listed);
  }
  OpenedContent openListedFile(const std::string& path, const ListedFile& listed) override {
    return real_.openListedFile(path, listed);
  }

 private:
  class Listing final : public DirectoryListing {
   public:
    Listing(WatchedFileSystem& owner, std::unique_ptr<DirectoryListing> inner)
        : owner_(&owner), inner_(std::move(inner)) {}
    const DirectoryEntry& entry() const override { return inner_->entry(); }
    bool next() override { return inner_->next(); }
    DirectoryId directory() const override { return inner_->directory(); }
    std::unique_ptr<DirectoryListing> openSubdirectory() override {
      owner_->beforeDescent(inner_->entry().name);
      auto listing = owner_->wrap(inner_->openSubdirectory());
      owner_->afterDescent();
      return listing;
    }

   private:
    WatchedFileSystem* owner_;
    std::unique_ptr<DirectoryListing> inner_;
  };

  std::unique_ptr<DirectoryListing> wrap(std::unique_ptr<DirectoryListing> inner) {
    if (!inner) return nullptr;
    return std::make_unique<Listing>(*this, std::move(inner));
  }

  RealFileSystem real_;
};

TEST(AnchoredWalk, ADirectorySwappedBeforeItsDescentIsNeverEntered) {
  // t/dX is an empty directory when listed; right before the walk descends
  // into it, it is exchanged with t/lX, a link to a directory outside t, or
  // with w/moved, a directory outside t.
  for (const std::string replacement : {"t/lX", "w/moved"}) {
    const TempDir tmp;
    tmp.write("t/copy", "V");
    tmp.makeDirectory("t/dX");
    tmp.write("t/dY/inside", "in");
    tmp.write("w/outside/victim", "V");
    tmp.write("w/moved/victim", "V");
    linkAt(tmp / "w/outside", tmp / "t/lX");
    WatchedFileSystem fileSystem;
    bool swapped = false;
    fileSystem.beforeDescent = [&](const std::string& name) {
      if (name != "dX" || swapped) return;
      swapped = exchange(tmp / "t/dX", tmp / replacement);
      ASSERT_TRUE(swapped) << std::strerror(errno);
    };

    std::vector<std::string> paths = pathsOf(walk(fileSystem, tmp / "t"));

    ASSERT_TRUE(swapped) << replacement;
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{tmp / "t/copy", tmp / "t/dY/inside"}))
        << replacement;
  }
}

TEST(AnchoredWalk, NothingOutsideIsDeletedThroughADirectorySwappedForALink) {
  // The file listed as t/dX/f has a second name outside the tree, so the
  // file that the swapped path names afterwards has the listed inode and
  // size: only the directory's identity tells the two places apart.
  const TempDir tmp;
  tmp.write("t/dX/f", "V");
  tmp.makeDirectory("w/outside");
  ASSERT_EQ(::link((tmp / "t/dX/f").c_str(), (tmp / "w/outside/f").c_str()), 0);
  linkAt(tmp / "w/outside", tmp / "t/lX");
  RealFileSystem fileSystem;
  const std::vector<FileRecord> files = walk(fileSystem, tmp / "t");
  ASSERT_EQ(pathsOf(files), std::vector<std::string>{tmp / "t/dX/f"});

  ASSERT_TRUE(exchange(tmp / "t/dX", tmp / "t/lX")) << std::strerror(errno);
  EXPECT_EQ(fileSystem.removeListedFile(files[0].path(), files[0].listed()),
            Removal::DirectoryReplaced);
  EXPECT_TRUE(tmp.exists("w/outside/f"));
  EXPECT_TRUE(tmp.exists("t/lX/f"));

  // Swapped back, the file is removed where it was listed; its name outside
  // keeps its data.
  ASSERT_TRUE(exchange(tmp / "t/dX", tmp / "t/lX"));
  EXPECT_EQ(fileSystem.removeListedFile(files[0].path(), files[0].listed()), Removal::RemovedName);
  EXPECT_FALSE(tmp.exists("t/dX/f"));
  EXPECT_EQ(tmp.read("w/outside/f"), "V");
}

TEST(AnchoredWalk, RemovingALinkAFifoOrAnImmutableFileSaysWhyItDidNotHappen) {
  const TempDir tmp;
  RealFileSystem fileSystem;
  const auto [listedNow, remove] = testing::relativeRemovals(fileSystem, tmp);

  // What every system refuses alike is tested with the portable file system
  // tests; here, what only Linux can make.
  tmp.write("d/target", "keep");
  linkAt(tmp / "d/target", tmp / "d/link");
  EXPECT_EQ(remove("d/link", listedNow("d/link")), Removal::NotAFile);
  ASSERT_EQ(::mkfifo((tmp / "d/fifo").c_str(), 0600), 0);
  EXPECT_EQ(remove("d/fifo", listedNow("d/fifo")), Removal::NotAFile);
  EXPECT_TRUE(tmp.exists("d/link"));
  EXPECT_TRUE(tmp.exists("d/fifo"));
  EXPECT_EQ(tmp.read("d/target"), "keep");

  // A removal the system refuses, where it can be made to: a file marked
  // immutable, which even root may not remove.
  tmp.write("d/immutable", "abc");
  const ListedFile immutable = listedNow("d/immutable");
  const int fd = ::open((tmp / "d/immutable").c_str(), O_RDONLY);
  int flags = 0;
  bool marked = false;
  if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
    const int withImmutable = flags | FS_IMMUTABLE_FL;
    if (::ioctl(fd, FS_IOC_SETFLAGS, &withImmutable) == 0) {
      EXPECT_EQ(remove("d/immutable", immutable), Removal::PermissionDenied);
      EXPECT_TRUE(tmp.exists("d/immutable"));
      ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
      marked = true;
    }
  }
  if (fd >= 0) ::close(fd);
  if (!marked) GTEST_SKIP() << "no immutable flag here: it takes root and a file system with it";
}

TEST(AnchoredWalk, EveryFallbackForARefusedNewerCallListsReadsAndRemovesAlike) {
  const TempDir tmp;
  tmp.write("t/a", "abc");
  tmp.write("t/sub/b", std::string(70000, 'b'));
  tmp.write("t/sub/deeper/c", "xyz");
  std::vector<std::string> relative{"t/a", "t/sub/b", "t/sub/deeper/c"};
  // A directory large enough for its lookups to be shared between threads,
  // each file of its own size.
  for (std::size_t i = 0; i < 150; ++i) {
    relative.push_back("t/many/m" + std::to_string(i));
    tmp.write(relative.back(), std::string(i + 1, 'm'));
  }

  struct Variant {
    std::string what;
    PreferredCalls calls;
  };
  const Variant variants[] = {
      {"newer calls", {}},
      {"without statx", {.extendedStatus = false}},
      {"without reads that do not wait", {.readWithoutWaiting = false}},
      {"without path-only opens", {.pathOnlyOpen = false}},
      {"without leaving the access time", {.noAccessTime = false}},
      {"batches through plain calls", {.batchRing = false}},
      {"older calls only", {false, false, false, false, false}},
  };
  for (const Variant& variant : variants) {
    RealFileSystem fileSystem(variant.calls);
    const std::vector<FileRecord> files = walk(fileSystem, tmp / "t");

    ASSERT_EQ(files.size(), relative.size()) << variant.what;
    std::map<std::string, const FileRecord*> byPath;
    for (const FileRecord& file : files) byPath[file.path()] = &file;
    for (const std::string& name : relative) {
      const std::string path = tmp / name;
      ASSERT_EQ(byPath.count(path), 1u) << variant.what << ": " << name;
      const FileRecord& record = *byPath[path];
      struct stat file {};
      struct stat directory {};
      ASSERT_EQ(::lstat(path.c_str(), &file), 0);
      ASSERT_EQ(::stat(path.substr(0, path.rfind('/')).c_str(), &directory), 0);
      EXPECT_EQ(record.size, static_cast<std::uint64_t>(file.st_size)) << variant.what << name;
      EXPECT_EQ(record.inode, file.st_ino) << variant.what << ": " << name;
      EXPECT_EQ(record.device(), file.st_dev) << variant.what << ": " << name;
      EXPECT_EQ(record.directory(), (DirectoryId{directory.st_dev, directory.st_ino}))
          << variant.what << ": " << name;
      for (const bool batched : {false, true}) {
        StringSink sink;
        EXPECT_TRUE(batched ? testing::readAsBatch(fileSystem, path, record.size, sink,
                                                   record.listed())
                            : fileSystem.readLeadingBytes(path, record.size, sink))
            << variant.what << name;
        EXPECT_EQ(sink.data, tmp.read(name)) << variant.what << ": " << name;
      }
    }

    const std::string victim = tmp.write("t/sub/victim", "v");
    std::unique_ptr<DirectoryListing> listed = fileSystem.findFirst(victim);
    ASSERT_NE(listed, nullptr) << variant.what;
    const ListedFile identity = testing::listedFile(*listed);
    EXPECT_EQ(fileSystem.removeListedFile(victim, identity), Removal::Removed) << variant.what;
    EXPECT_FALSE(tmp.exists("t/sub/victim")) << variant.what;
  }
}

// Runs `read`, which must not block on the FIFO at `fifo`. Were it to wait
// for a writer, the watchdog plays the writer after a few seconds, so that
// the test fails rather than hangs.
bool returnsWithoutAWriter(const std::string& fifo, const std::function<void()>& read) {
  auto reading = std::async(std::launch::async, read);
  if (reading.wait_for(std::chrono::seconds(5)) == std::future_status::ready) return true;
  while (reading.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) ::close(writer);
  }
  return false;
}

TEST(AnchoredWalk, AFileThatBecameAFifoWithoutAWriterIsRefusedAtOnce) {
  const TempDir tmp;
  const std::string fifo = tmp / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const PreferredCalls calls : {PreferredCalls{}, PreferredCalls{.batchRing = false}}) {
    RealFileSystem fileSystem(calls);
    for (const bool batched : {false, true}) {
      bool read = true;
      EXPECT_TRUE(returnsWithoutAWriter(fifo, [&] {
        StringSink sink;
        read = batched ? testing::readAsBatch(fileSystem, fifo, 512, sink)
                       : fileSystem.readLeadingBytes(fifo, 512, sink);
      }));
      EXPECT_FALSE(read);
    }
  }
}

TEST(AnchoredWalk, AFifoNamedWithoutWildcardsIsASystemEntry) {
  const TempDir tmp;
  ASSERT_EQ(::mkfifo((tmp / "fifo").c_str(), 0600), 0);
  RealFileSystem fileSystem;
  std::unique_ptr<DirectoryListing> named = fileSystem.findFirst(tmp / "fifo");
  ASSERT_NE(named, nullptr);
  EXPECT_EQ(named->entry().name, "fifo");
  EXPECT_EQ(named->entry().attributes, kAttributeSystem);
  EXPECT_EQ(named->entry().size, 0u);
  EXPECT_EQ(named->openSubdirectory(), nullptr);
}

// Open descriptors of this process.
std::size_t openDescriptorCount() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

// The names in `directory` in the order the directory read yields them.
std::vector<std::string> namesInReadOrder(const std::string& directory) {
  std::vector<std::string> names;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.c_str()), ::closedir);
  while (const dirent* entry = dir ? ::readdir(dir.get()) : nullptr) {
    names.emplace_back(entry->d_name);
  }
  return names;
}

TEST(AnchoredWalk, ADeepTreeIsWalkedWholeWithABoundedNumberOfOpenDirectories) {
  // Every level holds a file, "d" (the next level) and leaf directories
  // with a file each. Leaves are added until the directory read yields one
  // after "d", so that a level still has entries to list when the walk comes
  // back from below "d", where far more levels lie than directories are held
  // open. The read order depends on the names alone, the same at each level.
  constexpr int kDepth = 120;
  const TempDir tmp;
  std::vector<std::string> levels;
  for (std::string level = "t"; levels.size() < kDepth; level += "/d") levels.push_back(level);
  std::vector<std::string> expected;
  for (std::size_t k = 0; k < levels.size(); ++k) {
    tmp.makeDirectory(levels[k] + "/d");
    expected.push_back(tmp.write(levels[k] + "/f", std::to_string(k)));
  }
  for (int leaf = 0; leaf < 64; ++leaf) {
    const std::vector<std::string> order = namesInReadOrder(tmp / "t");
    if (order.back() != "d" && leaf > 0) break;
    for (const std::string& level : levels) {
      expected.push_back(tmp.write(level + "/leaf" + std::to_string(leaf) + "/g", "g"));
    }
  }
  ASSERT_NE(namesInReadOrder(tmp / "t").back(), "d");
  std::sort(expected.begin(), expected.end());

  WatchedFileSystem fileSystem;
  const std::size_t before = openDescriptorCount();
  std::size_t mostOpen = before;
  fileSystem.afterDescent = [&] { mostOpen = std::max(mostOpen, openDescriptorCount()); };
  const std::vector<FileRecord> files = walk(fileSystem, tmp / "t");

  EXPECT_LE(mostOpen - before, 40u);
  EXPECT_EQ(openDescriptorCount(), before);
  std::vector<std::string> paths = pathsOf(files);
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, expected);
}

// A directory read reports a mount point by the inode beneath it: the walk
// must look it up to open it as the directory it lists. In a child process
// with a mount namespace of its own.
TEST(AnchoredWalk, AMountPointInsideTheTreeIsDescended) {
  const TempDir tmp;
  tmp.makeDirectory("t/mounted");
  tmp.write("elsewhere/g", "g");
  const pid_t child = ::fork();
  if (child == 0) {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount((tmp / "elsewhere").c_str(), (tmp / "t/mounted").c_str(), nullptr, MS_BIND, nullptr) != 0) {
      ::_exit(77);
    }
    RealFileSystem fileSystem;
    ::_exit(pathsOf(walk(fileSystem, tmp / "t")) == std::vector<std::string>{tmp / "t/mounted/g"} ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "mounting is refused here";
  EXPECT_EQ(status, 0) << "the file under the mount point was not found";
}

}  // namespace
}  // namespace dupsieve
