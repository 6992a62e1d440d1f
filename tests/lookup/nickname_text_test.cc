// From the bytes of a nickname file to the listed text.
#include "lookup/nickname_text.h"

#include <gtest/gtest.h>

#include <ostream>

#include "lookup/split.h"

namespace morvellin {
namespace {

struct FileCase {
  const char* name;
  std::string_view file;
  std::string_view text;
};

// Names the case in test output.
void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

class NicknameTextTest : public testing::TestWithParam<FileCase> {};

TEST_P(NicknameTextTest, GivesText) {
  EXPECT_EQ(NicknameTextFromFile(GetParam().file), GetParam().text);
}

// "\xBC\xD7" is GBK for U+7532, "\xE7\x94\xB2" the same character in UTF-8.
INSTANTIATE_TEST_SUITE_P(
    Cases, NicknameTextTest,
    testing::Values(
        FileCase{"Empty", "", ""},
        FileCase{"GbkLines", "\xBC\xD7\r\nb\r\nc\r\n", "\xBC\xD7\r\nb\r\nc\r\n"},
        FileCase{"Utf8Lines", "\xE7\x94\xB2\r\nb\r\n", "\xBC\xD7\r\nb\r\n"},
        FileCase{"Utf8ByteOrderMarkDropped", "\xEF\xBB\xBF\xE7\x94\xB2\r\nb", "\xBC\xD7\r\nb"},
        FileCase{"Utf8LackingInGbk", "\xEA\xB0\x80x\r\n", "?x\r\n"},
        FileCase{"LoneLfBecomesCrLf", "a\nb\r\nc\n", "a\r\nb\r\nc\r\n"},
        FileCase{"GbkLoneLf", "\xBC\xD7\n\xD2\xD2\n", "\xBC\xD7\r\n\xD2\xD2\r\n"},
        FileCase{"CrAloneStays", "a\rb", "a\rb"},
        FileCase{"ZeroEndsText", std::string_view("a\r\n\0b\r\n", 7), "a\r\n"},
        FileCase{"SubEndsText", "a\r\n\x1A" "b\r\n", "a\r\n"},
        FileCase{"ZeroEndsUtf8Text", std::string_view("\xE7\x94\xB2\r\n\0\xFF", 7),
                 "\xBC\xD7\r\n"},
        // GBK: a lead byte followed by 0x00 ends the text before itself; a
        // 0x1A after a lead byte is its second byte and ends nothing.
        FileCase{"GbkLeadThenZero", std::string_view("\xBC\xD7\xB0\0b", 5), "\xBC\xD7"},
        FileCase{"GbkLeadThenSub", "\xBC\xD7\xB0\x1A" "b", "\xBC\xD7\xB0\x1A" "b"}),
    [](const testing::TestParamInfo<FileCase>& info) { return info.param.name; });

TEST(NicknameTextTest, EachLineIsOneEntry) {
  EXPECT_EQ(SplitAtCrLf(NicknameTextFromFile("\xE7\x94\xB2\nb\r\n\nc")),
            (std::vector<Text>{"\xBC\xD7", "b", "", "c"}));
}

}  // namespace
}  // namespace morvellin
