// Heads read on real trees: only from the listed directory and the listed
// file, each to its own read whatever order the engine finishes in.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/sample_digest.h"
#include "platform/linux/anchored_heads.h"
#include "platform/path_parts.h"
#include "platform/real_file_system.h"
#include "tests/platform/linux/tree_changes.h"
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

// Reads the sample of every record in one batch; what each sink got, and
// whether it was read.
std::vector<std::pair<bool, std::string>> readSamples(FileSystem& fileSystem,
                                                      const std::vector<FileRecord>& files) {
  std::vector<StringSink> sinks(files.size());
  std::vector<HeadRead> reads;
  for (std::size_t i = 0; i < files.size(); ++i) reads.push_back(sampleRead(files[i], 512, sinks[i]));
  fileSystem.readHeads(reads);
  std::vector<std::pair<bool, std::string>> samples;
  for (std::size_t i = 0; i < files.size(); ++i) samples.emplace_back(reads[i].read, sinks[i].data);
  return samples;
}

TEST(AnchoredHeads, HeadsAreReadOnlyFromTheListedDirectoryAndTheListedFile) {
  for (const PreferredCalls calls : {PreferredCalls{}, PreferredCalls{.batchRing = false}}) {
    const TempDir tmp;
    tmp.write("t/keep/a", "first");
    tmp.write("t/keep/c", "third");
    tmp.write("t/dX/f", "listed");
    // A second name outside for the listed file: only the directory's
    // identity tells the swapped path from the listed one.
    tmp.makeDirectory("w/outside");
    ASSERT_EQ(::link((tmp / "t/dX/f").c_str(), (tmp / "w/outside/f").c_str()), 0);
    linkAt(tmp / "w/outside", tmp / "t/lX");
    RealFileSystem fileSystem(calls);
    std::vector<FileRecord> files = walk(fileSystem, tmp / "t");
    std::sort(files.begin(), files.end(), [](const FileRecord& a, const FileRecord& b) {
      return a.path() < b.path();
    });
    ASSERT_EQ(pathsOf(files), (std::vector<std::string>{tmp / "t/dX/f", tmp / "t/keep/a",
                                                         tmp / "t/keep/c"}));
    using Samples = std::vector<std::pair<bool, std::string>>;
    EXPECT_EQ(readSamples(fileSystem, files),
              (Samples{{true, "listed"}, {true, "first"}, {true, "third"}}));

    // The directory swapped for a link outside, the file replaced by
    // another of the same size: neither is read, the rest still is.
    ASSERT_TRUE(exchange(tmp / "t/dX", tmp / "t/lX")) << std::strerror(errno);
    tmp.write("t/keep/new", "THIRD");
    ASSERT_EQ(::rename((tmp / "t/keep/new").c_str(), (tmp / "t/keep/c").c_str()), 0);
    EXPECT_EQ(readSamples(fileSystem, files), (Samples{{false, ""}, {true, "first"}, {false, ""}}));
    EXPECT_EQ(sampleDigest(files[0], 512, fileSystem), 0u);
    EXPECT_EQ(sampleDigest(files[2], 512, fileSystem), 0u);
    // The listed file itself, grown in place: no longer the file listed.
    tmp.write("t/keep/a", "first, and more");
    EXPECT_EQ(readSamples(fileSystem, files), (Samples{{false, ""}, {false, ""}, {false, ""}}));
  }
}

// An engine that finishes a batch backwards: it reads with plain calls, then
// hands out what it heard from the last request to the first.
class BackwardsEngine final : public linux_io::BatchIo {
 public:
  void lookUp(std::span<const linux_io::EntryRequest> requests, linux_io::MetadataSink& sink) override {
    plain_->lookUp(requests, sink);
  }
  void readHeads(std::span<const linux_io::HeadRequest> requests, linux_io::HeadSink& sink) override {
    Heard heard(requests.size());
    plain_->readHeads(requests, heard);
    for (std::size_t i = requests.size(); i-- > 0;) {
      for (const std::string& chunk : heard.chunks[i]) {
        sink.bytes(i, std::span<const unsigned char>(
                          reinterpret_cast<const unsigned char*>(chunk.data()), chunk.size()));
      }
      sink.done(i, heard.files[i]);
    }
  }
  linux_io::BatchMode mode() const override { return linux_io::BatchMode::PlainCalls; }

 private:
  struct Heard final : linux_io::HeadSink {
    explicit Heard(std::size_t count) : chunks(count), files(count) {}
    void bytes(std::size_t index, std::span<const unsigned char> chunk) override {
      chunks[index].emplace_back(reinterpret_cast<const char*>(chunk.data()), chunk.size());
    }
    void done(std::size_t index, const std::optional<linux_io::EntryMetadata>& file) override {
      files[index] = file;
    }
    std::vector<std::vector<std::string>> chunks;
    std::vector<std::optional<linux_io::EntryMetadata>> files;
  };
  std::unique_ptr<linux_io::BatchIo> plain_ = linux_io::openPlainBatchIo();
};

TEST(AnchoredHeads, EachHeadReachesItsOwnReadWhateverOrderTheEngineFinishesIn) {
  // More directories than one round holds open, files coming back to a
  // directory left before, and failures among them.
  const TempDir tmp;
  std::vector<std::string> paths;
  std::vector<std::string> expected;
  for (int i = 0; i < 120; ++i) {
    std::string name = "d";
    name.append(std::to_string(i % 45)).append("/f").append(std::to_string(i));
    const std::string contents = std::string(static_cast<std::size_t>(i * 37 % 700), 'x') + name;
    paths.push_back(tmp.write(name, contents));
    expected.push_back(i % 11 == 5 ? "" : contents);
  }
  for (std::size_t i = 5; i < paths.size(); i += 11) {
    if (i % 2 == 0) {
      ASSERT_EQ(::unlink(paths[i].c_str()), 0);
    } else {
      ASSERT_EQ(::unlink(paths[i].c_str()), 0);
      ASSERT_EQ(::mkdir(paths[i].c_str(), 0700), 0);
    }
  }
  std::vector<StringSink> sinks(paths.size());
  std::vector<HeadRead> reads;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const PathParts parts = splitAtLastSlash(paths[i]);
    reads.push_back(HeadRead{parts.directory, parts.name, {}, 1000, &sinks[i]});
  }
  linux_io::SystemCalls calls{PreferredCalls{}};
  BackwardsEngine engine;
  linux_io::readAnchoredHeads(reads, engine, calls, 32);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    EXPECT_EQ(reads[i].read, !expected[i].empty()) << paths[i];
    EXPECT_EQ(sinks[i].data, expected[i]) << paths[i];
  }
}

}  // namespace
}  // namespace dupsieve
