#include "resolution/content_comparison.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dupsieve {
namespace {

// One member as the comparison finds it.
struct Source {
  std::string contents;
  ContentOpening opening = ContentOpening::Opened;
  std::optional<std::size_t> failReadAt{};    // a read that reaches this offset fails
  std::optional<std::uint64_t> listedSize{};  // when the listing said otherwise
  std::uint64_t device = 9;
  std::optional<std::uint64_t> inode{};  // a file of its own unless given
};

// Chunks of 4 bytes, so that short strings cross chunk boundaries.
constexpr ComparisonLimits kSmallChunks{8, 4, 4, 16};

struct Comparing {
  ContentComparison result;
  std::vector<std::size_t> opened;       // members, in the order opened
  std::vector<std::uint64_t> bytesRead;  // per member
  std::size_t mostOpenAtOnce = 0;
  std::pair<std::uint64_t, std::uint64_t> lastProgress;
};

Comparing compare(const std::vector<Source>& sources, const ComparisonLimits& limits = kSmallChunks) {
  // Reads a source's contents, counting what it hands out and how many
  // readers are open.
  struct Reader final : ContentReader {
    Reader(const Source& from, std::uint64_t& counted, std::size_t& open)
        : source(from), bytesRead(counted), openNow(open) {}
    ~Reader() override { --openNow; }
    std::optional<std::size_t> read(std::span<unsigned char> into) override {
      const std::size_t count = std::min(into.size(), source.contents.size() - position);
      if (source.failReadAt && position + count > *source.failReadAt) return std::nullopt;
      std::copy_n(source.contents.begin() + static_cast<std::ptrdiff_t>(position), count,
                  into.begin());
      position += count;
      bytesRead += count;
      return count;
    }
    bool unchangedSinceOpened() override { return true; }
    const Source& source;
    std::uint64_t& bytesRead;
    std::size_t& openNow;
    std::size_t position = 0;
  };

  Comparing run;
  run.bytesRead.resize(sources.size());
  std::vector<ListedFile> listed;
  for (const Source& source : sources) {
    listed.push_back({{1, 1}, source.device, source.inode.value_or(1000 + listed.size()),
                      source.listedSize.value_or(source.contents.size())});
  }
  std::size_t openNow = 0;
  const auto open = [&](std::size_t member) -> OpenedContent {
    run.opened.push_back(member);
    const Source& source = sources[member];
    if (source.opening != ContentOpening::Opened) return {source.opening, nullptr};
    run.mostOpenAtOnce = std::max(run.mostOpenAtOnce, ++openNow);
    return {source.opening, std::make_unique<Reader>(source, run.bytesRead[member], openNow)};
  };
  const auto progress = [&](std::uint64_t read, std::uint64_t total) {
    run.lastProgress = {read, total};
  };
  run.result = compareContents(listed, open, progress, limits);
  EXPECT_EQ(openNow, 0u) << "every file is closed at the end";
  return run;
}

// "{0,2} {1<0@5}": the sets, each with the first file of the set it parted
// from and the offset where they first differ.
std::string setsOf(const ContentComparison& result) {
  std::string text;
  for (const auto& set : result.sets) {
    text += text.empty() ? "{" : " {";
    for (std::size_t i = 0; i < set.files.size(); ++i) {
      if (i > 0) text += ',';
      text += std::to_string(set.files[i]);
    }
    if (set.differsFrom) {
      text += '<';
      text += std::to_string(*set.differsFrom);
      text += '@';
      text += std::to_string(set.firstDifference);
    }
    text += "}";
  }
  return text;
}

// One letter per member: Compared, Same file, Gone, Xchanged, Unreadable.
std::string outcomesOf(const ContentComparison& result) {
  std::string text;
  for (const auto& member : result.members) text += "CSGXU"[static_cast<int>(member.outcome)];
  return text;
}

TEST(ContentComparison, PartsFilesIntoIdenticalSetsAndNamesTheFirstByteThatDiffers) {
  struct Case {
    std::vector<std::string> contents;
    std::string sets;
  };
  const Case cases[] = {
      {{"abcdefgh", "abcdefgh", "abcdefgh"}, "{0,1,2}"},
      {{"abcdefgh", "abcdXfgh"}, "{0} {1<0@4}"},
      {{"a", "b"}, "{0} {1<0@0}"},
      {{"", ""}, "{0,1}"},
      {{"abcdefgh", "abXdefgh", "abcdefgh", "abcdefgY"}, "{0,2} {1<0@2} {3<0@7}"},
      // Parting in one chunk: each new set is named against the one it agrees with longest.
      {{"aaaa", "abbb", "abbc"}, "{0} {1<0@1} {2<1@3}"},
      // Parting again in a later chunk.
      {{"aaaabbbb", "aaaabbbc", "xaaabbbb", "aaaabbbb"}, "{0,3} {1<0@7} {2<0@0}"},
      {{"abcdefghij", "abcdefghiZ", "abcdefghij", "abcdefghiZ"}, "{0,2} {1,3<0@9}"},
  };
  for (const Case& c : cases) {
    std::vector<Source> sources;
    for (const std::string& contents : c.contents) sources.push_back({contents});
    const Comparing run = compare(sources);
    EXPECT_EQ(setsOf(run.result), c.sets) << c.contents[0] << " " << c.contents[1];
    EXPECT_EQ(outcomesOf(run.result), std::string(c.contents.size(), 'C'));
  }
}

TEST(ContentComparison, ReadsEachFileOnceAndStopsAPairAtItsFirstDifference) {
  const std::string same(1000, 's');
  std::string early = same;
  early[10] = 'e';
  const Comparing run = compare({{same}, {early}, {same}});

  EXPECT_EQ(setsOf(run.result), "{0,2} {1<0@10}");
  EXPECT_EQ(run.opened, (std::vector<std::size_t>{0, 1, 2}));
  // The odd one out is read to the end of the chunk holding its first
  // difference; the identical pair in full, each once.
  EXPECT_EQ(run.bytesRead, (std::vector<std::uint64_t>{1000, 12, 1000}));
  EXPECT_EQ(run.lastProgress, (std::pair<std::uint64_t, std::uint64_t>{2012, 3000}));
}

TEST(ContentComparison, NamesOfOneFileAreReadOnceAndALoneFileNotAtAll) {
  Comparing run = compare({{.contents = "abcdefgh", .inode = 5},
                           {.contents = "abcdefgh"},
                           {.contents = "abcdefgh", .inode = 5}});
  EXPECT_EQ(outcomesOf(run.result), "CCS");
  EXPECT_EQ(run.result.members[2].file, 0u);
  EXPECT_EQ(setsOf(run.result), "{0,1}");
  EXPECT_EQ(run.opened, (std::vector<std::size_t>{0, 1}));

  // Two names of one file: nothing to compare.
  run = compare({{.contents = "abcdefgh", .inode = 5}, {.contents = "abcdefgh", .inode = 5}});
  EXPECT_EQ(outcomesOf(run.result), "CS");
  EXPECT_TRUE(run.opened.empty());

  // Identities that a listing could not tell (0) make no file one.
  run = compare({{.contents = "zz", .inode = 0},
                 {.contents = "zz", .inode = 0},
                 {.contents = "zz", .device = 0, .inode = 7},
                 {.contents = "zz", .device = 0, .inode = 7}});
  EXPECT_EQ(outcomesOf(run.result), "CCCC");
}

TEST(ContentComparison, FilesThatCannotBeComparedAreLeftOutAndTheRestCompared) {
  struct Case {
    std::vector<Source> sources;
    std::string outcomes;
    std::string sets;
  };
  const Case cases[] = {
      {{{"abcdefgh"}, {"abcdefgh", ContentOpening::Gone}, {"abcdefgh"}}, "CGC", "{0,2}"},
      {{{"abcdefgh", ContentOpening::Changed}, {"abcdefgh"}, {"abcdefgh"}}, "XCC", "{1,2}"},
      {{{"abcdefgh"}, {"abcdefgh", ContentOpening::Unreadable}}, "CU", "{0}"},
      // A read that fails half way.
      {{{"abcdefgh"}, {"abcdefgh", ContentOpening::Opened, 6}, {"abcdefgh"}}, "CUC", "{0,2}"},
      // Shorter than listed, and longer: changed while it was read.
      {{{"abcdefgh"}, {"abcdef", ContentOpening::Opened, {}, 8}, {"abcdefgh"}}, "CXC", "{0,2}"},
      {{{"abcdefgh"}, {"abcdefghi", ContentOpening::Opened, {}, 8}, {"abcdefgh"}}, "CXC", "{0,2}"},
  };
  for (const Case& c : cases) {
    const Comparing run = compare(c.sources);
    EXPECT_EQ(outcomesOf(run.result), c.outcomes);
    EXPECT_EQ(setsOf(run.result), c.sets) << c.outcomes;
  }
}

TEST(ContentComparison, HoldsOnlyLongFilesOpenTogetherAndRefusesTooManyOfThem) {
  const ComparisonLimits limits{8, 4, 4, 2};
  // Within one chunk: read whole and closed one after the other.
  Comparing run = compare({{"abc"}, {"abc"}, {"abc"}}, limits);
  EXPECT_EQ(run.mostOpenAtOnce, 1u);
  EXPECT_EQ(setsOf(run.result), "{0,1,2}");

  run = compare({{"abcdef"}, {"abcdef"}}, limits);
  EXPECT_EQ(run.mostOpenAtOnce, 2u);

  // Three long files where two may be open: nothing is opened.
  run = compare({{"abcdef"}, {"abcdef"}, {"abcdef"}}, limits);
  EXPECT_TRUE(run.result.tooManyFiles);
  EXPECT_TRUE(run.opened.empty());
  EXPECT_TRUE(run.result.sets.empty());
}

}  // namespace
}  // namespace dupsieve
