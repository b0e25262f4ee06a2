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
  std::optional<std::size_t> failReadAt{};  // a read that reaches this offset fails
  std::optional<std::uint64_t> listedSize{};  // when the listing said otherwise
  std::uint64_t inode = 0;                    // 0: a file of its own
};

// Chunks of 4 bytes, so that short strings cross chunk boundaries.
constexpr ComparisonLimits kSmallChunks{8, 4, 4, 16};

struct Comparing {
  ContentComparison result;
  std::vector<std::size_t> opened;           // members, in the order opened
  std::vector<std::uint64_t> bytesRead;      // per member, the check for growth included
  std::size_t mostOpenAtOnce = 0;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
};

class StringReader final : public ContentReader {
 public:
  StringReader(const Source& source, std::uint64_t& bytesRead, std::size_t& openNow)
      : source_(&source), bytesRead_(&bytesRead), openNow_(&openNow) {}
  ~StringReader() override { --*openNow_; }
  std::optional<std::size_t> read(std::span<unsigned char> into) override {
    const std::size_t count = std::min(into.size(), source_->contents.size() - position_);
    if (source_->failReadAt && position_ + count > *source_->failReadAt) return std::nullopt;
    std::copy_n(source_->contents.begin() + static_cast<std::ptrdiff_t>(position_), count,
                into.begin());
    position_ += count;
    *bytesRead_ += count;
    return count;
  }

 private:
  const Source* source_;
  std::uint64_t* bytesRead_;
  std::size_t* openNow_;
  std::size_t position_ = 0;
};

Comparing compare(const std::vector<Source>& sources, const ComparisonLimits& limits = kSmallChunks) {
  Comparing run;
  run.bytesRead.resize(sources.size());
  std::vector<ListedFile> listed;
  for (const Source& source : sources) {
    const std::uint64_t inode = source.inode != 0 ? source.inode : 1000 + listed.size();
    listed.push_back({{1, 1}, 9, inode, source.listedSize.value_or(source.contents.size())});
  }
  std::size_t openNow = 0;
  const auto open = [&](std::size_t member) -> OpenedContent {
    run.opened.push_back(member);
    const Source& source = sources[member];
    if (source.opening != ContentOpening::Opened) return {source.opening, nullptr};
    run.mostOpenAtOnce = std::max(run.mostOpenAtOnce, ++openNow);
    return {ContentOpening::Opened,
            std::make_unique<StringReader>(source, run.bytesRead[member], openNow)};
  };
  run.result = compareContents(listed, open,
                               [&](std::uint64_t read, std::uint64_t total) {
                                 run.progress.emplace_back(read, total);
                               },
                               limits);
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
  ASSERT_FALSE(run.progress.empty());
  EXPECT_EQ(run.progress.back(), (std::pair<std::uint64_t, std::uint64_t>{2012, 3000}));
}

TEST(ContentComparison, NamesOfOneFileAreReadOnceAndALoneFileNotAtAll) {
  Comparing run = compare({{"abcdefgh", {}, {}, {}, 5}, {"abcdefgh"}, {"abcdefgh", {}, {}, {}, 5}});
  EXPECT_EQ(outcomesOf(run.result), "CCS");
  EXPECT_EQ(run.result.members[2].file, 0u);
  EXPECT_EQ(setsOf(run.result), "{0,1}");
  EXPECT_EQ(run.opened, (std::vector<std::size_t>{0, 1}));

  // Two names of one file: nothing to compare.
  run = compare({{"abcdefgh", {}, {}, {}, 5}, {"abcdefgh", {}, {}, {}, 5}});
  EXPECT_EQ(outcomesOf(run.result), "CS");
  EXPECT_TRUE(run.opened.empty());
}

TEST(ContentComparison, UnknownIdentitiesNeverMakeOneFile) {
  const std::vector<ListedFile> listed{{{}, 0, 0, 2}, {{}, 0, 0, 2}, {{}, 0, 7, 2}, {{}, 0, 7, 2}};
  const auto open = [](std::size_t) {
    struct Two final : ContentReader {
      std::size_t left = 2;
      std::optional<std::size_t> read(std::span<unsigned char> into) override {
        const std::size_t count = std::min(left, into.size());
        std::fill_n(into.begin(), count, 'z');
        left -= count;
        return count;
      }
    };
    return OpenedContent{ContentOpening::Opened, std::make_unique<Two>()};
  };
  EXPECT_EQ(outcomesOf(compareContents(listed, open)), "CCCC");
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
