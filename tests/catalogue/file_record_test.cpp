#include "catalogue/file_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "catalogue/compare_mode.h"
#include "catalogue/sample_digest.h"
#include "tests/support/fake_file_system.h"
#include "tests/support/records.h"

namespace dupsieve {
namespace {

using testing::FakeFileSystem;
using testing::recordAt;

// Sets the process-wide comparison mode for one test and puts the start
// value back afterwards, so no other test sees what this one chose.
class CompareModeScope {
 public:
  explicit CompareModeScope(CompareMode mode) { compareMode = mode; }
  ~CompareModeScope() { compareMode = CompareMode::BySizeAndDigest; }
  CompareModeScope(const CompareModeScope&) = delete;
  CompareModeScope& operator=(const CompareModeScope&) = delete;
};

FileRecord record(std::string path, std::uint64_t size = 0, std::uint32_t digest = 0) {
  FileRecord made = recordAt(std::move(path), size);
  made.digest = digest;
  return made;
}

enum class Relation { Before, After, Same };

struct OrderCase {
  FileRecord a;
  FileRecord b;
  Relation relation;  // of a to b
};

// Checks both operators in both directions, so a case pins down `<`, its
// mirror image and `==` at once.
void expectRelations(const std::vector<OrderCase>& cases) {
  for (const OrderCase& c : cases) {
    SCOPED_TRACE("a = {" + c.a.path() + ", " + std::to_string(c.a.size) + ", " +
                 std::to_string(c.a.digest) + "}, b = {" + c.b.path() + ", " +
                 std::to_string(c.b.size) + ", " + std::to_string(c.b.digest) + "}");
    EXPECT_EQ(c.a < c.b, c.relation == Relation::Before);
    EXPECT_EQ(c.b < c.a, c.relation == Relation::After);
    EXPECT_EQ(c.a == c.b, c.relation == Relation::Same);
    EXPECT_EQ(c.b == c.a, c.relation == Relation::Same);
  }
}

constexpr std::uint64_t k2GiB = std::uint64_t{1} << 31;
constexpr std::uint64_t k4GiB = std::uint64_t{1} << 32;

TEST(FileRecordOrdering, ByPathComparesUnsignedBytesAndIgnoresSizeAndDigest) {
  const CompareModeScope mode(CompareMode::ByPath);
  expectRelations({
      {record("a/b"), record("a/b/c"), Relation::Before},        // a proper prefix precedes
      {record(""), record("a"), Relation::Before},
      {record("a.b"), record("a/b"), Relation::Before},          // '.' 46 before '/' 47
      {record("a/zzzz"), record("a0"), Relation::Before},        // '/' before digits, length irrelevant
      {record("a/"), record("aA"), Relation::Before},
      {record("X/f"), record("x/f"), Relation::Before},          // case matters: 'X' 88 < 'x' 120
      {record("A"), record("a"), Relation::Before},
      {record("ab~"), record("ab\x80"), Relation::Before},       // bytes >= 128 follow ASCII
      {record("ab\x7F"), record("ab\x80"), Relation::Before},
      {record("abz"), record("ab\xFF"), Relation::Before},
      {record("\xC3\xA9"), record("z"), Relation::After},
      {record("a\x80"), record("a\x80" "b"), Relation::Before},
      {record("ab", 1, 1), record("ab", 1, 1), Relation::Same},
      // The path alone decides: size and digest play no part.
      {record("same", 10, 1), record("same", 20, 2), Relation::Same},
      {record("a", 100, 0xFFFFFFFF), record("b", 1, 0), Relation::Before},
  });
}

TEST(FileRecordOrdering, BySizeAndDigestComparesUnsignedSizeThenDigestAndIgnoresPath) {
  const CompareModeScope mode(CompareMode::BySizeAndDigest);
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  expectRelations({
      {record("p", 10, 0xFFFFFFFF), record("q", 11, 0), Relation::Before},  // size decides first
      {record("p", 10, 5), record("q", 10, 6), Relation::Before},
      {record("p", 10, 0x7FFFFFFF), record("q", 10, 0x80000000), Relation::Before},
      {record("p", k2GiB - 1, 0xFFFFFFFF), record("q", k2GiB, 0), Relation::Before},
      // Sizes are whole 64-bit values, never cut to their low 32 bits.
      {record("p", k4GiB - 1, 0xFFFFFFFF), record("q", k4GiB, 0), Relation::Before},
      {record("p", 1, 0xFFFFFFFF), record("q", k4GiB + 1, 0), Relation::Before},
      {record("p", k4GiB + 1, 5), record("q", 1, 5), Relation::After},
      {record("p", k4GiB, 0), record("q", 0, 0), Relation::After},
      {record("p", (std::uint64_t{1} << 63) - 1, 0), record("q", std::uint64_t{1} << 63, 0),
       Relation::Before},
      {record("p", kMax, 0), record("q", 0, 0xFFFFFFFF), Relation::After},
      // The path plays no part.
      {record("z", 1, 0), record("a", 2, 0), Relation::Before},
      {record("a", 10, 7), record("b", 10, 7), Relation::Same},
      {record("a", 10, 0), record("b", 10, 0), Relation::Same},  // both never computed
      {record("a", k4GiB + 3, 9), record("b", k4GiB + 3, 9), Relation::Same},
  });
}

TEST(FileRecordOrdering, AnyNonZeroModeActsAsByPath) {
  for (const std::int32_t value : {2, -1}) {
    SCOPED_TRACE(value);
    const CompareModeScope mode(static_cast<CompareMode>(value));
    expectRelations({
        {record("a", 100, 3), record("b", 1, 3), Relation::Before},
        {record("same", 10, 1), record("same", 20, 2), Relation::Same},
    });
  }
}

// The stages sort and search with these operators, so `<` must be a strict
// weak ordering and `==` must hold exactly when neither record precedes the
// other.
TEST(FileRecordOrdering, BothModesAreStrictWeakOrderingsConsistentWithEquality) {
  const std::vector<FileRecord> records = {
      record("a", 10, 5),       record("b", 10, 5),      record("a", 10, 6),
      record("A", 11, 0),       record("a/b", 0, 0),     record("a.b", k4GiB + 1, 1),
      record("ab\x80", 1, 0),   record("ab~", 1, 0),     record("a", k4GiB + 1, 0x80000000),
      record("x", k2GiB, 0xFFFFFFFF),
  };
  for (const CompareMode value : {CompareMode::ByPath, CompareMode::BySizeAndDigest}) {
    SCOPED_TRACE(static_cast<int>(value));
    const CompareModeScope mode(value);
    for (const FileRecord& a : records) {
      EXPECT_FALSE(a < a) << a.path();
      EXPECT_TRUE(a == a) << a.path();
      for (const FileRecord& b : records) {
        EXPECT_FALSE(a < b && b < a) << a.path() << " / " << b.path();
        EXPECT_EQ(a == b, !(a < b) && !(b < a)) << a.path() << " / " << b.path();
        for (const FileRecord& c : records) {
          if (a < b && b < c) {
            EXPECT_TRUE(a < c) << a.path() << " / " << b.path() << " / " << c.path();
          }
        }
      }
    }
  }
}

TEST(FileRecordOrdering, StableSortBySizeAndDigestRunsBySizeThenDigestKeepingTies) {
  const CompareModeScope mode(CompareMode::BySizeAndDigest);
  std::vector<FileRecord> list = {
      record("big", k4GiB + 1, 1), record("one-b", 10, 2), record("small", 1, 9),
      record("one-a", 10, 2),      record("low", 10, 1),   record("huge", k4GiB, 0),
  };
  std::stable_sort(list.begin(), list.end());
  std::vector<std::string> order;
  for (const FileRecord& r : list) order.push_back(r.path());
  EXPECT_EQ(order, (std::vector<std::string>{"small", "low", "one-b", "one-a", "huge", "big"}));

  // The end of a run of equal records is where the run's first record is
  // first preceded.
  const auto runEnd = std::upper_bound(list.begin() + 2, list.end(), list[2]);
  EXPECT_EQ(runEnd - list.begin(), 4);
}

TEST(FileRecordCopy, CopyMadeAfterDigestKeepsEveryField) {
  FakeFileSystem fake;
  fake.addFile("f", "abc");
  FileRecord original = recordAt("f", 3, DirectoryId{7, 9}, 42);
  EXPECT_EQ(original.digest, 0u);
  ASSERT_EQ(sampleDigest(original, 512, fake), 0x00636261u);

  const FileRecord copied(original);
  EXPECT_EQ(copied.path(), "f");
  EXPECT_EQ(copied.size, 3u);
  EXPECT_EQ(copied.digest, 0x00636261u);
  EXPECT_EQ(copied.directory(), (DirectoryId{7, 9}));
  EXPECT_EQ(copied.inode, 42u);

  FileRecord assigned = recordAt("other", 1);
  assigned = original;
  EXPECT_EQ(assigned.path(), "f");
  EXPECT_EQ(assigned.digest, 0x00636261u);

  // The copy answers from what it carries, without reading the file again.
  EXPECT_EQ(sampleDigest(assigned, 1, fake), 0x00636261u);
  EXPECT_EQ(fake.readPaths.size(), 1u);
}

TEST(FileRecordCopy, CachingOnACopyLeavesTheOriginalUncomputed) {
  FakeFileSystem fake;
  fake.addFile("f", "abc");
  FileRecord original = recordAt("f", 3);
  FileRecord copied = original;
  ASSERT_EQ(sampleDigest(copied, 512, fake), 0x00636261u);
  EXPECT_EQ(copied.digest, 0x00636261u);
  EXPECT_EQ(original.digest, 0u);

  // The original still has to compute its own.
  EXPECT_EQ(sampleDigest(original, 512, fake), 0x00636261u);
  EXPECT_EQ(fake.readPaths.size(), 2u);
}

}  // namespace
}  // namespace dupsieve

namespace dupsieve {
namespace {

// Records as the walk makes them: every file of one listing shares one
// directory. Their paths and their order by path must be exactly those of
// the joined strings, whatever the prefixes share with each other or with
// the names.
TEST(FileRecordPaths, SharedDirectoriesKeepPathsAndTheirByteOrder) {
  const std::string longPart(300, 'x');
  const std::vector<std::pair<std::string, std::vector<std::string>>> listings = {
      {"", {"a", "a.", "ab", ".profile"}},
      {"a/", {"b", "b.c", "\x80", "\xff\xfe", "."}},
      {"a/b/", {"c", "", std::string(1023, 'n'), std::string(2000, 'm'), "d"}},
      {"a./", {"z"}},
      {"./a/", {"b"}},
      {"ab/", {"\x7f"}},
      {"a\xc3\xa9/", {"\xe2\x82\xac" + longPart, "a"}},
      {"a/" + longPart + "/", {"y", longPart}},
      {"a/b/", {"c"}},  // the same directory listed again
  };
  std::vector<FileRecord> records;
  std::vector<std::string> expected;
  std::uint64_t inode = 1;
  for (const auto& [prefix, names] : listings) {
    auto directory = std::make_shared<ListedDirectory>(prefix, DirectoryId{3, inode++});
    for (const std::string& name : names) {
      records.emplace_back(directory, name, name.size(), inode++, 3);
      expected.push_back(prefix + name);
      // And the same path given whole, as other callers make records.
      records.push_back(recordAt(prefix + name, name.size()));
      expected.push_back(prefix + name);
    }
  }
  for (std::size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].path(), expected[i]);
    EXPECT_EQ(std::string(records[i].directoryPart()) + std::string(records[i].name()),
              expected[i]);
  }

  const CompareModeScope byPath(CompareMode::ByPath);
  for (std::size_t i = 0; i < records.size(); ++i) {
    for (std::size_t j = 0; j < records.size(); ++j) {
      EXPECT_EQ(records[i] < records[j], expected[i] < expected[j])
          << expected[i] << " / " << expected[j];
      EXPECT_EQ(records[i] == records[j], expected[i] == expected[j])
          << expected[i] << " / " << expected[j];
    }
  }
}

TEST(FileRecordPaths, CopiesShareTheirDirectoryAndKeepTheirOwnName) {
  auto directory = std::make_shared<ListedDirectory>("photos/", DirectoryId{1, 2});
  FileRecord first(directory, "a.jpg", 5, 10, 1, 700, 600);
  // A file mounted over an entry is on a device of its own.
  const FileRecord second(directory, "b.jpg", 5, 11, 9);
  const FileRecord third(directory, "c.jpg", 5, 12, 1);
  directory->settle();
  EXPECT_EQ(std::make_tuple(second.device(), third.device()), std::make_tuple(9u, 1u));
  EXPECT_EQ(first.listed(), (ListedFile{{1, 2}, 1, 10, 5, 700, 600}));
  const FileRecord copied = first;
  first = second;
  EXPECT_EQ(copied.path(), "photos/a.jpg");
  EXPECT_EQ(first.path(), "photos/b.jpg");
  EXPECT_TRUE(copied.sameListedDirectory(first));
  EXPECT_EQ(copied.directory(), (DirectoryId{1, 2}));
  EXPECT_EQ(copied.listed().inode, 10u);
}

}  // namespace
}  // namespace dupsieve
