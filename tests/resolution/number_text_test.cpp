#include "resolution/number_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "resolution/run_account.h"

namespace dupsieve {
namespace {

TEST(NumberText, GroupsOfThreeDigitsAndDecimalUnits) {
  const std::pair<std::uint64_t, std::string> grouped[] = {
      {0, "0"}, {999, "999"}, {1000, "1,000"}, {286080, "286,080"},
      {1400000000, "1,400,000,000"}, {UINT64_MAX, "18,446,744,073,709,551,615"},
  };
  for (const auto& [number, text] : grouped) EXPECT_EQ(groupedNumber(number), text);
  const std::pair<std::uint64_t, std::string> human[] = {
      {0, "0 bytes"}, {1, "1 byte"}, {999, "999 bytes"}, {1000, "1.0 kB"},
      {4249, "4.2 kB"}, {4250, "4.3 kB"}, {9949, "9.9 kB"}, {9950, "10 kB"},
      {999499, "999 kB"}, {999500, "1.0 MB"}, {1400000000, "1.4 GB"},
      {18000000000000, "18 TB"}, {UINT64_MAX, "18 EB"},
  };
  for (const auto& [bytes, text] : human) EXPECT_EQ(inHumanUnits(bytes), text) << bytes;
}

TEST(NumberText, TheAccountAndTheOutOfMemoryLine) {
  RunAccount account;
  account.filesFound = 12000;
  EXPECT_EQ(accountLine(account), "0 files deleted, 0 bytes freed; 0 confirmed deletions failed");
  EXPECT_EQ(outOfMemoryLine(account),
            "dupsieve: out of memory after 12,000 files were found; nothing was deleted");
  account = {1, 3, 1, 1400000000, 1};
  EXPECT_EQ(accountLine(account), "1 file deleted, 1.4 GB freed; 1 confirmed deletion failed");
  EXPECT_EQ(outOfMemoryLine(account),
            "dupsieve: out of memory after 1 file was found; 1 file was deleted (1.4 GB)");
}

}  // namespace
}  // namespace dupsieve
