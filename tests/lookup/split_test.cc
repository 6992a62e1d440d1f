// Splitting at a delimiter that counts only at character starts.
#include "lookup/split.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace morvellin {
namespace {

struct SplitCase {
  const char* name;
  std::string_view text;
  std::vector<Text> entries;
};

// Names the case in test output.
void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

class SplitAtCrLfTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitAtCrLfTest, GivesEntries) {
  EXPECT_EQ(SplitAtCrLf(GetParam().text), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitAtCrLfTest,
    testing::Values(
        SplitCase{"Empty", "", {}},
        SplitCase{"TwoLines", "a\r\nb", {"a", "b"}},
        SplitCase{"TrailingBreak", "a\r\nb\r\n", {"a", "b"}},
        SplitCase{"EmptyLineInside", "a\r\n\r\nb", {"a", "", "b"}},
        SplitCase{"LeadingBreak", "\r\na", {"", "a"}},
        SplitCase{"EmptyLastLine", "a\r\nb\r\n\r\n", {"a", "b", ""}},
        SplitCase{"OnlyABreak", "\r\n", {""}},
        SplitCase{"LineFeedsOnly", "a\nb\n", {"a\nb\n"}},
        SplitCase{"CarriageReturnsOnly", "a\rb", {"a\rb"}},
        SplitCase{"DoubleByteCharacters", "\xBC\xD7\r\n\xD2\xD2", {"\xBC\xD7", "\xD2\xD2"}},
        // 0x81 0x0D is taken as one character: its CR starts no break.
        SplitCase{"BreakInsideACharacter", "a\x81\r\nb", {"a\x81\r\nb"}},
        SplitCase{"LoneLeadByteAtEnd", "a\r\n\x81", {"a", "\x81"}}),
    [](const testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

TEST(SplitTextTest, OtherDelimiters) {
  EXPECT_EQ(SplitText("a;;b;", ";"), (std::vector<Text>{"a", "", "b"}));
  EXPECT_EQ(SplitText("a--b-", "--"), (std::vector<Text>{"a", "b-"}));
  EXPECT_EQ(SplitText("ab", ""), (std::vector<Text>{"ab"}));
}

}  // namespace
}  // namespace morvellin
