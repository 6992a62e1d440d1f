// The pattern matcher: the buyer-ID pattern and the engine settings it relies on.
#include "lookup/pattern_matcher.h"

#include <gtest/gtest.h>

#include <ostream>

namespace morvellin {
namespace {

constexpr std::string_view kBuyerId = "data-buyerId=\"(.*)\"";

struct MatchCase {
  const char* name;
  std::string_view pattern;
  std::string_view subject;
  int match;
  int group;
  std::string_view expected;
};

// Names the case in test output.
void PrintTo(const MatchCase& c, std::ostream* os) { *os << c.name; }

class PatternMatcherTest : public testing::TestWithParam<MatchCase> {};

TEST_P(PatternMatcherTest, GivesGroupText) {
  const MatchCase& c = GetParam();
  PatternMatcher matcher;
  matcher.Create(c.pattern, c.subject);
  EXPECT_EQ(matcher.SubmatchText(c.match, c.group), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    BuyerId, PatternMatcherTest,
    testing::Values(
        MatchCase{"InLine", kBuyerId, "a data-buyerId=\"42\" b", 1, 1, "42"},
        MatchCase{"InDiv", kBuyerId, "<div data-buyerId=\"123\">", 1, 1, "123"},
        MatchCase{"AnyCase", kBuyerId, "<div DATA-BUYERID=\"123\">", 1, 1, "123"},
        MatchCase{"GreedyToLastQuoteOfLine", kBuyerId, "data-buyerId=\"1\" x=\"2\"\r\nz=\"3\"",
                  1, 1, "1\" x=\"2"},
        MatchCase{"CrIsOrdinary", kBuyerId, "data-buyerId=\"4\r2\"", 1, 1, "4\r2"},
        MatchCase{"LfEndsLine", kBuyerId, "data-buyerId=\"4\n2\"", 1, 1, ""},
        MatchCase{"QuoteOnNextLineNotReached", kBuyerId, "data-buyerId=\"7\"\r\n<p>\"</p>", 1, 1,
                  "7"},
        MatchCase{"FirstOfTwoLines", kBuyerId,
                  "data-buyerId=\"1\"\r\n<b data-buyerId=\"2\">\r\n", 1, 1, "1"},
        MatchCase{"SecondMatch", kBuyerId, "data-buyerId=\"1\"\r\n<b data-buyerId=\"2\">\r\n",
                  2, 1, "2"},
        MatchCase{"NoThirdMatch", kBuyerId, "data-buyerId=\"1\"\ndata-buyerId=\"2\"", 3, 1, ""},
        MatchCase{"IncompleteThenComplete", kBuyerId,
                  "data-buyerId=\"9\ndata-buyerId=\"10\"", 1, 1, "10"},
        MatchCase{"EmptyValue", kBuyerId, "data-buyerId=\"\"", 1, 1, ""},
        MatchCase{"EmptySubject", kBuyerId, "", 1, 1, ""},
        MatchCase{"NoSuchGroup", kBuyerId, "data-buyerId=\"42\"", 1, 2, ""},
        MatchCase{"GroupZeroIsNotAGroup", kBuyerId, "data-buyerId=\"42\"", 1, 0, ""},
        MatchCase{"MatchZeroIsNone", kBuyerId, "data-buyerId=\"42\"", 0, 1, ""},
        MatchCase{"GbkValueComesBackAsGbk", kBuyerId,
                  "data-buyerId=\"\xB2\xE2\xCA\xD4\"", 1, 1, "\xB2\xE2\xCA\xD4"},
        MatchCase{"BadBytesBecomeQuestionMarks", kBuyerId, "data-buyerId=\"1\xFF" "2\"", 1, 1,
                  "1?2"}),
    [](const testing::TestParamInfo<MatchCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Engine, PatternMatcherTest,
    testing::Values(
        MatchCase{"BadPattern", "(", "(((", 1, 1, ""},
        MatchCase{"GroupTookNoPart", "(a)|(b)", "b", 1, 1, ""},
        MatchCase{"SecondGroup", "(a)|(b)", "b", 1, 2, "b"},
        MatchCase{"GbkPattern", "(\xB2\xE2.)", "x\xB2\xE2\xCA\xD4y", 1, 1, "\xB2\xE2\xCA\xD4"},
        // A double-byte character is one character: its second byte "A" is
        // not found on its own, and "." takes both bytes.
        MatchCase{"NoMatchInsideCharacter", "(A)", "\x81\x41", 1, 1, ""},
        MatchCase{"DotTakesWholeCharacter", "(.)", "\xB2\xE2", 1, 1, "\xB2\xE2"},
        MatchCase{"CaretAfterLf", "^(b)", "a\nb", 1, 1, "b"},
        MatchCase{"NoCaretAfterCr", "^(b)", "a\rb", 1, 1, ""},
        MatchCase{"DollarNotBeforeCr", "(a)$", "a\r\n", 1, 1, ""},
        // After an empty match the next search starts one character on.
        MatchCase{"AfterEmptyMatch", "(b*)", "abb", 2, 1, "bb"},
        MatchCase{"WordsAndEmptyMatches", "(\\w*)", "ab cd", 3, 1, "cd"},
        MatchCase{"EmptyMatchBeforeDoubleByte", "(a*)", "\xB2\xE2" "a", 2, 1, "a"},
        MatchCase{"LookaheadEmptyMatch", "(?=(b))", "abab", 2, 1, "b"},
        MatchCase{"LookaheadNoRepeat", "(?=(b))", "abab", 3, 1, ""}),
    [](const testing::TestParamInfo<MatchCase>& info) { return info.param.name; });

TEST(PatternMatcherLifecycleTest, EmptyBeforeCreate) {
  PatternMatcher matcher;
  EXPECT_EQ(matcher.SubmatchText(1, 1), "");
}

TEST(PatternMatcherLifecycleTest, CreateStartsAfresh) {
  PatternMatcher matcher;
  matcher.Create(kBuyerId, "data-buyerId=\"1\"\ndata-buyerId=\"2\"");
  EXPECT_EQ(matcher.SubmatchText(2, 1), "2");
  EXPECT_EQ(matcher.SubmatchText(1, 1), "1");
  matcher.Create(kBuyerId, "data-buyerId=\"3\"");
  EXPECT_EQ(matcher.SubmatchText(1, 1), "3");
  EXPECT_EQ(matcher.SubmatchText(2, 1), "");
  matcher.Create("(", "data-buyerId=\"3\"");
  EXPECT_EQ(matcher.SubmatchText(1, 1), "");
}

// The value stands on the first line of a page whose rest is long: a group
// that runs to the last quote of its line must not run across lines.
TEST(PatternMatcherLifecycleTest, LongPageFirstLine) {
  std::string page = "<div data-buyerId=\"2200\">\n";
  for (int i = 0; i < 20000; ++i) page += "<p class=\"x\">\xB2\xE2\xCA\xD4</p>\r\n";
  PatternMatcher matcher;
  matcher.Create(kBuyerId, page);
  EXPECT_EQ(matcher.SubmatchText(1, 1), "2200");
}

}  // namespace
}  // namespace morvellin
