// Searches over GBK text: 1-based positions, character stepping, ASCII-only
// case folding.
#include "lookup/text.h"

#include <gtest/gtest.h>

#include <ostream>

namespace morvellin {
namespace {

// GBK characters used below: "\x81\x41" is U+4E04, its second byte is "A";
// "\xB0\x61" is a character whose second byte is "a".
struct FindCase {
  const char* name;
  std::string_view text;
  std::string_view needle;
  int start;
  int expected;
  int expected_ignoring_case;
};

// Names the case in test output.
void PrintTo(const FindCase& c, std::ostream* os) { *os << c.name; }

class FindTextTest : public testing::TestWithParam<FindCase> {};

TEST_P(FindTextTest, FindsAtCharacterStartsOnly) {
  const FindCase& c = GetParam();
  EXPECT_EQ(FindText(c.text, c.needle, c.start), c.expected);
  EXPECT_EQ(FindTextIgnoreCase(c.text, c.needle, c.start), c.expected_ignoring_case);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindTextTest,
    testing::Values(
        FindCase{"First", "abcabc", "c", 1, 3, 3},
        FindCase{"FromStart", "abcabc", "c", 4, 6, 6},
        FindCase{"StartBelowOneCountsAsOne", "abcabc", "c", -5, 3, 3},
        FindCase{"StartAtMatch", "abcabc", "abc", 4, 4, 4},
        FindCase{"StartPastEnd", "abc", "c", 5, -1, -1},
        FindCase{"Missing", "abc", "d", 1, -1, -1},
        FindCase{"NeedleLongerThanText", "ab", "abc", 1, -1, -1},
        FindCase{"EmptyTextEmptyNeedle", "", "", 1, 1, 1},
        FindCase{"NullNeedle", "abc", std::string_view(), 2, 2, 2},
        FindCase{"EmptyNeedleAtEndAfterLoneLead", "a\x81", "", 3, 3, 3},
        FindCase{"CaseDiffers", "xHTTP://h", "http://", 1, -1, 2},
        FindCase{"SecondByteIsNotAStart", "\x81\x41" "A", "A", 1, 3, 3},
        FindCase{"OnlyInsideACharacter", "\x81\x41", "A", 1, -1, -1},
        FindCase{"PairAcrossCharacters", "\xB0\x41\x41", "\x41\x41", 1, -1, -1},
        FindCase{"StartInsideACharacter", "\x81\x41" "A", "A", 2, 3, 3},
        FindCase{"SecondByteIsNotFolded", "\x81\x41", "\x81\x61", 1, -1, -1},
        FindCase{"FoldingAfterACharacter", "\xB0\x61Z", "\xB0\x61z", 1, -1, 1},
        FindCase{"DoubleByteNeedle", "ab\xB2\xE2\xCA\xD4", "\xCA\xD4", 1, 5, 5}),
    [](const testing::TestParamInfo<FindCase>& info) { return info.param.name; });

TEST(LowerAsciiTest, LowersOnlySingleByteLetters) {
  EXPECT_EQ(LowerAscii("HeLLo \x81\x41Z\xB2\xE2"), "hello \x81\x41z\xB2\xE2");
  EXPECT_EQ(LowerAscii(""), "");
}

TEST(TextFromBytesTest, EndsAtFirstZeroByte) {
  EXPECT_EQ(TextFromBytes(std::string_view("ab\0cd", 5)), "ab");
  EXPECT_EQ(TextFromBytes("abcd"), "abcd");
  EXPECT_EQ(TextFromBytes(std::string_view("\0x", 2)), "");
}

struct BetweenCase {
  const char* name;
  std::string_view text;
  std::string_view start_marker;
  std::string_view end_marker;
  std::string_view expected;
};

// Names the case in test output.
void PrintTo(const BetweenCase& c, std::ostream* os) { *os << c.name; }

class TextBetweenTest : public testing::TestWithParam<BetweenCase> {};

TEST_P(TextBetweenTest, TakesTextBetweenMarkers) {
  const BetweenCase& c = GetParam();
  EXPECT_EQ(TextBetween(c.text, c.start_marker, c.end_marker), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextBetweenTest,
    testing::Values(
        BetweenCase{"MarkersInAnyCaseTextKeepsItsCase", "xHTTP://Host/p", "http://", "/", "Host"},
        BetweenCase{"MarkersTouch", "ab", "a", "b", ""},
        BetweenCase{"NoEndMarker", "a-c", "a", "b", ""},
        BetweenCase{"NoStartMarker", "x-b", "a", "b", ""},
        BetweenCase{"EndMarkerBeforeStartIsSkipped", "/ http://h/p", "http://", "/", "h"},
        BetweenCase{"EndMarkerSearchedAfterStartMarkerEnds", "aXa", "a", "a", "X"},
        BetweenCase{"FirstOfSeveral", "[1][2]", "[", "]", "1"},
        // "[" and "]" are also second bytes of GBK characters.
        BetweenCase{"MarkersNeverInsideCharacters", "\x81[a[b\x81]c]", "[", "]", "b\x81]c"}),
    [](const testing::TestParamInfo<BetweenCase>& info) { return info.param.name; });

}  // namespace
}  // namespace morvellin
