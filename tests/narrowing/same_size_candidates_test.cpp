#include "narrowing/same_size_candidates.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "catalogue/compare_mode.h"
#include "catalogue/file_record.h"
#include "tests/support/records.h"

namespace dupsieve {
namespace {

using testing::recordAt;

// The stage runs under BySizeAndDigest; it is set explicitly in case an
// earlier test left another mode behind, and put back afterwards.
class BySizeScope {
 public:
  BySizeScope() { compareMode = CompareMode::BySizeAndDigest; }
  ~BySizeScope() { compareMode = CompareMode::BySizeAndDigest; }
  BySizeScope(const BySizeScope&) = delete;
  BySizeScope& operator=(const BySizeScope&) = delete;
};

constexpr std::uint64_t k4GiB = std::uint64_t{1} << 32;

// Path and size of each record, which is what the stage decides on.
using Candidate = std::pair<std::string, std::uint64_t>;

// Builds records in ascending path order, as the previous stage leaves them.
std::vector<FileRecord> records(const std::vector<Candidate>& pathsAndSizes) {
  std::vector<FileRecord> files;
  for (const auto& [path, size] : pathsAndSizes) files.push_back(recordAt(path, size));
  return files;
}

std::vector<Candidate> candidates(std::vector<FileRecord> files) {
  const BySizeScope bySize;
  selectSameSizeCandidates(files);
  std::vector<Candidate> result;
  for (const FileRecord& record : files) result.emplace_back(record.path(), record.size);
  return result;
}

TEST(SameSizeCandidates, ListsWithoutASharedSizeEndEmpty) {
  EXPECT_TRUE(candidates({}).empty());
  EXPECT_TRUE(candidates(records({{"p1", 5}})).empty());
  EXPECT_TRUE(candidates(records({{"p1", 5}, {"p2", 6}, {"p3", 7}, {"p4", 1}})).empty());
}

TEST(SameSizeCandidates, KeepsRunsOfSharedSizesInSizeThenPathOrder) {
  EXPECT_EQ(candidates(records({{"p1", 5}, {"p2", 7}, {"p3", 5}, {"p4", 9}, {"p5", 7}, {"p6", 7}})),
            (std::vector<Candidate>{{"p1", 5}, {"p3", 5}, {"p2", 7}, {"p5", 7}, {"p6", 7}}));

  // Shared sizes at both ends of the sorted list, a unique one between.
  EXPECT_EQ(candidates(records({{"a", 9}, {"b", 1}, {"c", 4}, {"d", 9}, {"e", 1}})),
            (std::vector<Candidate>{{"b", 1}, {"e", 1}, {"a", 9}, {"d", 9}}));
}

TEST(SameSizeCandidates, AllOfOneSizeStayInTheOrderTheyCameIn) {
  EXPECT_EQ(candidates(records({{"a", 3}, {"b", 3}, {"c", 3}, {"d", 3}})),
            (std::vector<Candidate>{{"a", 3}, {"b", 3}, {"c", 3}, {"d", 3}}));
}

TEST(SameSizeCandidates, LongRunsOfOneSizeKeepTheirPathOrder) {
  // More equal records than a sort puts in order by insertion, interleaved:
  // only a stable sort keeps each size's records in path order.
  std::vector<Candidate> input;
  std::vector<Candidate> fives;
  std::vector<Candidate> sevens;
  for (int i = 0; i < 60; ++i) {
    const std::string path = (i < 10 ? "p0" : "p") + std::to_string(i);
    const std::uint64_t size = i % 3 == 0 ? 7 : 5;
    input.emplace_back(path, size);
    (size == 5 ? fives : sevens).emplace_back(path, size);
  }
  input.emplace_back("q", 9);
  std::vector<Candidate> expected = fives;
  expected.insert(expected.end(), sevens.begin(), sevens.end());
  ASSERT_EQ(sevens.size(), 20u);
  EXPECT_EQ(candidates(records(input)), expected);
}

TEST(SameSizeCandidates, SizeZeroIsASizeLikeAnyOther) {
  EXPECT_EQ(candidates(records({{"dir", 0}, {"empty", 0}, {"one", 1}})),
            (std::vector<Candidate>{{"dir", 0}, {"empty", 0}}));
  EXPECT_TRUE(candidates(records({{"empty", 0}, {"one", 1}})).empty());
}

TEST(SameSizeCandidates, SizesAreComparedAsFull64BitValues) {
  // Sizes that agree in their low 32 bits are still different sizes.
  EXPECT_TRUE(candidates(records({{"big", k4GiB + 1}, {"small", 1}})).empty());
  EXPECT_TRUE(candidates(records({{"big", k4GiB}, {"empty", 0}})).empty());

  // Large sizes sort after smaller ones, unsigned.
  EXPECT_EQ(candidates(records({{"a", k4GiB + 1},
                                {"b", 2147483648u},
                                {"c", 1},
                                {"d", k4GiB + 1},
                                {"e", 2147483648u},
                                {"f", 2147483647u},
                                {"g", 1},
                                {"h", 2147483647u}})),
            (std::vector<Candidate>{{"c", 1},
                                    {"g", 1},
                                    {"f", 2147483647u},
                                    {"h", 2147483647u},
                                    {"b", 2147483648u},
                                    {"e", 2147483648u},
                                    {"a", k4GiB + 1},
                                    {"d", k4GiB + 1}}));
}

TEST(SameSizeCandidates, KeptRecordsCarryAllTheirValues) {
  std::vector<FileRecord> files;
  files.push_back(recordAt("x/a", 12, DirectoryId{3, 40}, 401));
  files.push_back(recordAt("x/b", 13, DirectoryId{3, 40}, 402));
  files.push_back(recordAt("y/a", 12, DirectoryId{3, 50}, 501));
  {
    const BySizeScope bySize;
    selectSameSizeCandidates(files);
  }
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(std::make_tuple(files[0].path(), files[0].size, files[0].directory().device,
                     files[0].directory().inode, files[0].inode, files[0].digest),
            std::make_tuple(std::string("x/a"), std::uint64_t{12}, std::uint64_t{3},
                            std::uint64_t{40}, std::uint64_t{401}, std::uint32_t{0}));
  EXPECT_EQ(std::make_tuple(files[1].path(), files[1].size, files[1].directory().device,
                     files[1].directory().inode, files[1].inode, files[1].digest),
            std::make_tuple(std::string("y/a"), std::uint64_t{12}, std::uint64_t{3},
                            std::uint64_t{50}, std::uint64_t{501}, std::uint32_t{0}));
}

}  // namespace
}  // namespace dupsieve
