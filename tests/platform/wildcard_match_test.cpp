#include "platform/wildcard_match.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace dupsieve {
namespace {

struct MatchCase {
  std::string_view pattern;
  std::string_view name;
  bool matches;
};

void expectMatches(const MatchCase* first, const MatchCase* last) {
  for (const MatchCase* c = first; c != last; ++c) {
    EXPECT_EQ(matchesWildcard(c->pattern, c->name), c->matches)
        << "pattern \"" << c->pattern << "\" against name \"" << c->name << "\"";
  }
}

TEST(WildcardMatchTest, HasWildcardsSeesOnlyStarAndQuestionMark) {
  struct Case {
    std::string_view pattern;
    bool expected;
  };
  const Case cases[] = {
      {"", false},        {"abc", false},     {"*", true},          {"?", true},
      {"a*b", true},      {"a?b", true},      {"*.*", true},        {"name.txt", false},
      {"dir/name", false}, {"[ab]", false},   {"{a,b}", false},     {"a\\*", true},
      {".", false},       {"..", false},      {"caf\xc3\xa9", false}, {"trailing?", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(hasWildcards(c.pattern), c.expected) << "pattern \"" << c.pattern << "\"";
  }
}

TEST(WildcardMatchTest, StarMatchesAnyRunOfBytesAtStartMiddleAndEnd) {
  const MatchCase cases[] = {
      // star at the start
      {"*.txt", "a.txt", true},
      {"*.txt", ".txt", true},
      {"*.txt", "a.txt.bak", false},
      {"*.txt", "atxt", false},
      // star in the middle
      {"a*b", "ab", true},
      {"a*b", "aXb", true},
      {"a*b", "aXbYb", true},
      {"a*b", "abX", false},
      {"a*b", "Xab", false},
      {"a*b", "a", false},
      {"a*b", "b", false},
      // star at the end
      {"photo*", "photo", true},
      {"photo*", "photo2003.jpg", true},
      {"photo*", "phot", false},
      {"photo*", "xphoto", false},
      // a lone star, and the empty name
      {"*", "anything", true},
      {"*", ".", true},
      {"*", "", true},
      {"**", "", true},
      {"**", "x", true},
  };
  expectMatches(std::begin(cases), std::end(cases));
}

TEST(WildcardMatchTest, SeveralStarsEachMatchTheirOwnRun) {
  const MatchCase cases[] = {
      {"*a*b*", "ab", true},
      {"*a*b*", "xaybz", true},
      {"*a*b*", "ba", false},
      {"a*b*c", "abc", true},
      {"a*b*c", "aXXbYYc", true},
      {"a*b*c", "acb", false},
      {"a*b*c", "abcX", false},
      {"*x*", "x", true},
      {"*x*", "abc", false},
      {"a**b", "ab", true},
      {"a**b", "aZZb", true},
      // a star that must give back bytes it first swallowed
      {"*ab", "aab", true},
      {"*ab", "abab", true},
      {"*ab", "abba", false},
      {"*aab", "aaab", true},
  };
  expectMatches(std::begin(cases), std::end(cases));
}

TEST(WildcardMatchTest, QuestionMarkMatchesExactlyOneByte) {
  const MatchCase cases[] = {
      {"?", "a", true},
      {"?", ".", true},
      {"?", "", false},
      {"?", "ab", false},
      {"??", "..", true},
      {"??", ".", false},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"a?c", "abbc", false},
      {"?.txt", "a.txt", true},
      {"?.txt", ".txt", false},
      {"?.txt", "ab.txt", false},
      // "?" counts bytes, not characters: "é" is two bytes in UTF-8
      {"caf?", "caf\xc3\xa9", false},
      {"caf??", "caf\xc3\xa9", true},
      {"*?", "", false},
      {"*?", "x", true},
      {"?*", "x", true},
      {"?*?", "x", false},
      {"?*?", "xy", true},
  };
  expectMatches(std::begin(cases), std::end(cases));
}

TEST(WildcardMatchTest, OtherBytesMatchOnlyThemselvesCaseSensitively) {
  const MatchCase cases[] = {
      {"abc", "abc", true},
      {"abc", "ABC", false},
      {"ABC", "abc", false},
      {"Photo*", "photo.jpg", false},
      {"*.JPG", "a.jpg", false},
      {"*.jpg", "a.JPG", false},
      {"abc", "ab", false},
      {"abc", "abcd", false},
      // bytes above 127 are compared as bytes
      {"caf\xc3\xa9", "caf\xc3\xa9", true},
      {"caf\xc3\xa9", "caf\xc3\x89", false},
      {"\xff*", "\xff\xfe", true},
      {"*\xfe", "\xff\xfe", true},
      {"\xfe*", "\xff\xfe", false},
      // characters that other matchers treat specially are plain here
      {"[ab]", "a", false},
      {"[ab]", "[ab]", true},
      {"a\\*", "a\\xyz", true},
      {"a\\*", "a*", false},
      {"{a,b}", "a", false},
      {"{a,b}", "{a,b}", true},
      {"!x", "!x", true},
  };
  expectMatches(std::begin(cases), std::end(cases));
}

TEST(WildcardMatchTest, StarDotStarMatchesEveryNameWithOrWithoutADot) {
  const MatchCase cases[] = {
      {"*.*", "noext", true},
      {"*.*", ".", true},
      {"*.*", "..", true},
      {"*.*", "a.b", true},
      {"*.*", ".hidden", true},
      {"*.*", "trailing.", true},
      {"*.*", "with space", true},
      {"*.*", "new\nline", true},
      {"*.*", "caf\xc3\xa9", true},
      // only "*.*" itself is special: other patterns with a dot still need one
      {"*.?", "noext", false},
      {"*.?", "a.b", true},
      {"?*.*", "noext", false},
      {"*.*x", "noext", false},
  };
  expectMatches(std::begin(cases), std::end(cases));
}

TEST(WildcardMatchTest, EmptyPatternMatchesNothing) {
  const MatchCase cases[] = {
      {"", "", false},
      {"", "a", false},
      {"", ".", false},
  };
  expectMatches(std::begin(cases), std::end(cases));
}

TEST(WildcardMatchTest, ManyStarsAgainstALongRunDoNotBacktrackForever) {
  // A matcher that tries every split of the run among the stars would take
  // far longer than any test run; this must end, and end with no match.
  const std::string run(10000, 'a');
  EXPECT_FALSE(matchesWildcard("*a*a*a*a*b", run));
  EXPECT_TRUE(matchesWildcard("*a*a*a*a*b", run + "b"));
  EXPECT_FALSE(matchesWildcard("*a*a*a*a*a", std::string(4, 'a')));
  EXPECT_TRUE(matchesWildcard("*a*a*a*a*a", std::string(5, 'a')));
}

}  // namespace
}  // namespace dupsieve
