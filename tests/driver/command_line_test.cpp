#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace dupsieve {
namespace {

struct CommandLineCase {
  std::vector<std::string_view> arguments;
  std::int32_t blockSize;
  bool recurse;
  bool includeEmpty;
  std::vector<std::string> startDirectories;
};

void PrintTo(const CommandLineCase& given, std::ostream* out) {
  *out << "arguments:";
  for (const std::string_view argument : given.arguments) *out << " [" << argument << "]";
}

constexpr std::int32_t kDefault = 512;
const std::vector<std::string> kCurrent = {"."};

class CommandLine : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLine, SetsSettingsAndStartDirectories) {
  const CommandLineCase& expected = GetParam();
  const Settings settings = readCommandLine(expected.arguments);
  EXPECT_EQ(settings.blockSize, expected.blockSize);
  EXPECT_EQ(settings.recurse, expected.recurse);
  EXPECT_EQ(settings.includeEmpty, expected.includeEmpty);
  EXPECT_EQ(settings.startDirectories, expected.startDirectories);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, CommandLine,
    ::testing::Values(
        CommandLineCase{{}, kDefault, false, false, kCurrent},
        CommandLineCase{{"-r"}, kDefault, true, false, kCurrent},
        CommandLineCase{{"-z"}, kDefault, false, true, kCurrent},
        CommandLineCase{{"-r", "-z"}, kDefault, true, true, kCurrent},
        // Only the letter right after "-" counts.
        CommandLineCase{{"-rz"}, kDefault, true, false, kCurrent},
        CommandLineCase{{"-zr"}, kDefault, false, true, kCurrent},
        CommandLineCase{{"-recurse"}, kDefault, true, false, kCurrent},
        CommandLineCase{{"-br"}, kDefault, false, false, kCurrent},
        // Unknown switches, upper case and a lone "-" are ignored and are
        // not operands either.
        CommandLineCase{{"-R"}, kDefault, false, false, kCurrent},
        CommandLineCase{{"-Z"}, kDefault, false, false, kCurrent},
        CommandLineCase{{"-B64"}, kDefault, false, false, kCurrent},
        CommandLineCase{{"-"}, kDefault, false, false, kCurrent},
        CommandLineCase{{"-x"}, kDefault, false, false, kCurrent},
        CommandLineCase{{"--"}, kDefault, false, false, kCurrent},
        CommandLineCase{{"-x", "-", "-R", "-r"}, kDefault, true, false, kCurrent}));

INSTANTIATE_TEST_SUITE_P(
    BlockSize, CommandLine,
    ::testing::Values(
        CommandLineCase{{"-b1024"}, 1024, false, false, kCurrent},
        CommandLineCase{{"-b 1024"}, 1024, false, false, kCurrent},
        CommandLineCase{{"-b\t 77"}, 77, false, false, kCurrent},
        CommandLineCase{{"-b12k"}, 12, false, false, kCurrent},
        CommandLineCase{{"-b-5"}, -5, false, false, kCurrent},
        CommandLineCase{{"-b+7"}, 7, false, false, kCurrent},
        CommandLineCase{{"-b0"}, 0, false, false, kCurrent},
        CommandLineCase{{"-b0x10"}, 0, false, false, kCurrent},
        CommandLineCase{{"-b007"}, 7, false, false, kCurrent},
        CommandLineCase{{"-b2147483647"}, std::numeric_limits<std::int32_t>::max(), false, false,
                        kCurrent},
        CommandLineCase{{"-b-2147483648"}, std::numeric_limits<std::int32_t>::min(), false,
                        false, kCurrent},
        // Nothing readable: the value stays as it was.
        CommandLineCase{{"-b"}, kDefault, false, false, kCurrent},
        CommandLineCase{{"-b "}, kDefault, false, false, kCurrent},
        CommandLineCase{{"-bx"}, kDefault, false, false, kCurrent},
        CommandLineCase{{"-b-"}, kDefault, false, false, kCurrent},
        CommandLineCase{{"-b+-3"}, kDefault, false, false, kCurrent},
        CommandLineCase{{"-b99999999999"}, kDefault, false, false, kCurrent},
        CommandLineCase{{"-b2147483648"}, kDefault, false, false, kCurrent},
        CommandLineCase{{"-b-2147483649"}, kDefault, false, false, kCurrent},
        // The last readable value wins.
        CommandLineCase{{"-b256", "-b512"}, 512, false, false, kCurrent},
        CommandLineCase{{"-b256", "-bx"}, 256, false, false, kCurrent},
        CommandLineCase{{"-b256", "-b"}, 256, false, false, kCurrent},
        CommandLineCase{{"-b256", "-b99999999999"}, 256, false, false, kCurrent},
        CommandLineCase{{"-b-1", "-b2"}, 2, false, false, kCurrent}));

INSTANTIATE_TEST_SUITE_P(
    Operands, CommandLine,
    ::testing::Values(
        CommandLineCase{{"photos"}, kDefault, false, false, {"photos"}},
        CommandLineCase{{"."}, kDefault, false, false, {"."}},
        CommandLineCase{{"a\\b/c"}, kDefault, false, false, {"a/b/c"}},
        CommandLineCase{{"C:\\data\\"}, kDefault, false, false, {"C:/data"}},
        CommandLineCase{{"C:\\"}, kDefault, false, false, {"C:"}},
        CommandLineCase{{"dir//"}, kDefault, false, false, {"dir/"}},
        CommandLineCase{{"/"}, kDefault, false, false, {""}},
        // An empty argument is an operand, so "." is not added.
        CommandLineCase{{""}, kDefault, false, false, {""}},
        CommandLineCase{{"photos/*.j?g"}, kDefault, false, false, {"photos/*.j?g"}},
        CommandLineCase{{"a-b"}, kDefault, false, false, {"a-b"}},
        // Order and repeats are kept.
        CommandLineCase{{"dirB", "dirA", "dirB"}, kDefault, false, false, {"dirB", "dirA", "dirB"}},
        CommandLineCase{{"dir", "dir/", "dir\\"}, kDefault, false, false, {"dir", "dir", "dir"}},
        // Switches may stand anywhere among the operands.
        CommandLineCase{{"-r", "dirA", "-z", "dirB"}, kDefault, true, true, {"dirA", "dirB"}},
        CommandLineCase{{"dirA", "dirB", "-r", "-z"}, kDefault, true, true, {"dirA", "dirB"}},
        CommandLineCase{{"dirA", "-b64", "dirB", "-x"}, 64, false, false, {"dirA", "dirB"}},
        // Only switches: the current directory.
        CommandLineCase{{"-r", "-b64", "-z"}, 64, true, true, kCurrent}));

TEST(NormaliseOperand, TurnsBackslashesIntoSlashesThenDropsOneTrailingSlash) {
  struct Case {
    std::string_view operand;
    std::string expected;
  };
  const Case cases[] = {
      {"photos", "photos"},
      {"photos/", "photos"},
      {"photos\\", "photos"},
      {"a\\b/c", "a/b/c"},
      {"C:\\data\\", "C:/data"},
      {"C:/", "C:"},
      {"C:\\", "C:"},
      {"dir//", "dir/"},
      {"dir\\\\", "dir/"},
      {"dir/\\", "dir/"},
      {"\\\\server\\share\\", "//server/share"},
      {"/", ""},
      {"\\", ""},
      {"", ""},
      {"./a/../b", "./a/../b"},
      {"a//b", "a//b"},
      {"Photos/*.JPG", "Photos/*.JPG"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(normaliseOperand(c.operand), c.expected) << "operand [" << c.operand << "]";
  }
}

}  // namespace
}  // namespace dupsieve
