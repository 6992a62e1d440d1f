// Charset conversion: UTF-8 and other charsets to and from GBK (code page 936).
#include "lookup/charset.h"
#include "lookup/charset_buffers.h"

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace morvellin {
namespace {

struct ConvertCase {
  const char* name;
  std::string_view data;
  std::string_view expected;
};

// Names the case in test output.
void PrintTo(const ConvertCase& c, std::ostream* os) { *os << c.name; }

class Utf8ToGbkTest : public testing::TestWithParam<ConvertCase> {};

// The defaults: source "UTF-8", target "GBK".
TEST_P(Utf8ToGbkTest, DefaultConversion) {
  EXPECT_EQ(ConvertCharset(GetParam().data), GetParam().expected);
  EXPECT_EQ(Utf8ToGbk(GetParam().data), GetParam().expected);
  // The fetch's form: the page re-encoded within its own buffer.
  Bytes page(GetParam().data);
  Utf8ToGbkInPlace(&page);
  EXPECT_EQ(page, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8ToGbkTest,
    testing::Values(
        ConvertCase{"Empty", "", ""},
        ConvertCase{"Ascii", "<a href=\"x\">\r\n", "<a href=\"x\">\r\n"},
        ConvertCase{"Chinese", "\xE4\xB8\xAD\xE6\x96\x87", "\xD6\xD0\xCE\xC4"},
        ConvertCase{"MixedRuns", "id=\xE4\xB8\xAD;x=\xE6\x96\x87!", "id=\xD6\xD0;x=\xCE\xC4!"},
        // Code page 936 mappings: the euro sign is the single byte 0x80,
        // U+00B7 is A1A4, U+2014 is A1AA, U+00E9 is A8A6.
        ConvertCase{"Euro", "\xE2\x82\xAC", "\x80"},
        ConvertCase{"MiddleDotAndDash", "\xC2\xB7\xE2\x80\x94", "\xA1\xA4\xA1\xAA"},
        ConvertCase{"LatinInGbk", "caf\xC3\xA9", "caf\xA8\xA6"},
        // What GBK lacks becomes "?".
        ConvertCase{"HangulNotInGbk", "a\xEA\xB0\x80" "b", "a?b"},
        ConvertCase{"SharpSNotInGbk", "\xC3\x9F", "?"},
        ConvertCase{"EmojiNotInGbk", "\xF0\x9F\x98\x80", "?"},
        // The text ends before U+0000.
        ConvertCase{"ZeroInAscii", std::string_view("ab\0cd", 5), "ab"},
        ConvertCase{"ZeroAfterChinese", std::string_view("\xE4\xB8\xAD\0\xE6\x96\x87", 7),
                    "\xD6\xD0"},
        ConvertCase{"ZeroFirst", std::string_view("\0abc", 4), ""},
        // Undecodable bytes become "?", one each.
        ConvertCase{"InvalidByte", "a\xFF" "b", "a?b"},
        ConvertCase{"LoneContinuation", "\x80" "a", "?a"},
        ConvertCase{"CutShortAtEnd", "a\xE4\xB8", "a??"},
        ConvertCase{"CutShortBeforeAscii", "\xE4\xB8" "a", "??a"},
        ConvertCase{"Overlong", "\xC0\xAF", "??"},
        ConvertCase{"Surrogate", "\xED\xA0\x80", "???"},
        // A leading byte-order mark is dropped; inside the text U+FEFF is a
        // character that GBK lacks.
        ConvertCase{"LeadingByteOrderMarkDropped", "\xEF\xBB\xBF" "a\xEF\xBB\xBF", "a?"}),
    [](const testing::TestParamInfo<ConvertCase>& info) { return info.param.name; });

class GbkToUtf8Test : public testing::TestWithParam<ConvertCase> {};

TEST_P(GbkToUtf8Test, Converts) {
  EXPECT_EQ(GbkToUtf8(GetParam().data), GetParam().expected);
  EXPECT_EQ(ConvertCharset(GetParam().data, "GBK", "UTF-8"), GetParam().expected);
  // The matcher's form: into a buffer of exactly the bound, which must hold it.
  std::vector<char> buffer(GbkToUtf8Bound(GetParam().data));
  const char* end = GbkToUtf8At(GetParam().data, buffer.data());
  ASSERT_LE(end, buffer.data() + buffer.size());
  EXPECT_EQ(std::string_view(buffer.data(), end - buffer.data()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GbkToUtf8Test,
    testing::Values(
        ConvertCase{"Chinese", "\xD6\xD0\xCE\xC4", "\xE4\xB8\xAD\xE6\x96\x87"},
        ConvertCase{"Euro", "1\x80", "1\xE2\x82\xAC"},
        ConvertCase{"MiddleDotAndDash", "\xA1\xA4\xA1\xAA", "\xC2\xB7\xE2\x80\x94"},
        // 0x81 0x41 is one character, U+4E04, though its second byte is "A".
        ConvertCase{"SecondByteInAsciiRange", "\x81\x41" "A", "\xE4\xB8\x84" "A"},
        ConvertCase{"InvalidByte", "a\xFF" "b", "a?b"},
        ConvertCase{"LoneLeadAtEnd", "a\xB0", "a?"},
        // A byte of 0x80 or above takes the next byte with it, as the text
        // searches do: 0xFF 0x81 is one (bad) character and "A" the next.
        ConvertCase{"BadPairThenAscii", "\xFF\x81\x41", "??A"},
        ConvertCase{"ZeroEndsText", std::string_view("\xD6\xD0\0\xCE\xC4", 5), "\xE4\xB8\xAD"}),
    [](const testing::TestParamInfo<ConvertCase>& info) { return info.param.name; });

struct NamedCase {
  const char* name;
  std::string_view data;
  std::string_view source;
  std::string_view target;
  std::string_view expected;
};

// Names the case in test output.
void PrintTo(const NamedCase& c, std::ostream* os) { *os << c.name; }

class NamedCharsetTest : public testing::TestWithParam<NamedCase> {};

TEST_P(NamedCharsetTest, Converts) {
  const NamedCase& c = GetParam();
  EXPECT_EQ(ConvertCharset(c.data, c.source, c.target), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NamedCharsetTest,
    testing::Values(
        NamedCase{"Cp936NameIsGbk", "\xE2\x82\xAC", "utf-8", "CP936", "\x80"},
        NamedCase{"EmptySourceIsUtf8", "\xE4\xB8\xAD", "", "GBK", "\xD6\xD0"},
        NamedCase{"EmptyTargetIsGbk", "\xE4\xB8\xAD", "UTF-8", "", "\xD6\xD0"},
        NamedCase{"GbkToGbkReplacesBadBytes", "a\xFF\xD6\xD0", "GBK", "GBK", "a?\xD6\xD0"},
        // The text passes through GBK: what GBK lacks is "?" in any target.
        NamedCase{"Utf8ToUtf8NarrowedToGbk", "\xEA\xB0\x80\xE4\xB8\xAD", "UTF-8", "UTF-8",
                  "?\xE4\xB8\xAD"},
        NamedCase{"Latin1Source", "caf\xE9 \xDF", "ISO-8859-1", "GBK", "caf\xA8\xA6 ?"},
        NamedCase{"Utf16Source", std::string_view("a\0\x2D\x4E", 4), "UTF-16LE", "GBK",
                  "a\xD6\xD0"},
        NamedCase{"Utf16SourceZeroEnds", std::string_view("a\0\0\0b\0", 6), "UTF-16LE", "GBK",
                  "a"},
        NamedCase{"Utf16Target", "\xD6\xD0", "GBK", "UTF-16LE", "\x2D\x4E"},
        NamedCase{"Latin1TargetLacksChinese", "a\xD6\xD0", "GBK", "ISO-8859-1", "a?"},
        NamedCase{"UnknownSource", "abc", "NO-SUCH-CHARSET", "GBK", ""},
        NamedCase{"UnknownTarget", "abc", "UTF-8", "NO-SUCH-CHARSET", ""}),
    [](const testing::TestParamInfo<NamedCase>& info) { return info.param.name; });

// UTF-8 and GBK convert through tables read out of iconv, with the ASCII runs
// copied as they are. The same charsets under other names ("ISO-10646/UTF8/"
// for UTF-8, "GB13000" for GBK) go through iconv whole; both must agree.
constexpr std::string_view kUtf8ByIconv = "ISO-10646/UTF8/";
constexpr std::string_view kGbkByIconv = "GB13000";

TEST(ConvertCharsetTest, TablesEncodeEveryCharacterAsIconvDoes) {
  std::string all;  // every code point of the BMP but U+0000 and the surrogates
  for (char32_t c = 1; c < 0x10000; ++c) {
    if (c >= 0xD800 && c < 0xE000) continue;
    if (c < 0x80) {
      all += static_cast<char>(c);
    } else if (c < 0x800) {
      all += static_cast<char>(0xC0 | (c >> 6));
      all += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      all += static_cast<char>(0xE0 | (c >> 12));
      all += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      all += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  std::string by_iconv = ConvertCharset(all, kUtf8ByIconv, "GBK");
  ASSERT_GT(by_iconv.size(), 60000u);
  EXPECT_TRUE(Utf8ToGbk(all) == by_iconv);
}

TEST(ConvertCharsetTest, TablesDecodeEveryByteAndPairAsIconvDoes) {
  std::string all;  // each single byte and pair from 0x80 on, then a comma
  for (int lead = 0x80; lead <= 0xFF; ++lead) {
    all += static_cast<char>(lead);
    all += ',';
    for (int trail = 1; trail <= 0xFF; ++trail) {
      all += static_cast<char>(lead);
      all += static_cast<char>(trail);
      all += ',';
    }
  }
  std::string by_iconv = ConvertCharset(all, kGbkByIconv, "UTF-8");
  ASSERT_GT(by_iconv.size(), all.size());
  EXPECT_TRUE(GbkToUtf8(all) == by_iconv);
}

// Random text made of `choices`, with the odd zero byte.
std::string RandomText(std::mt19937* random, size_t pieces,
                       const std::vector<std::string_view>& choices) {
  std::uniform_int_distribution<size_t> pick(0, choices.size() - 1);
  std::uniform_int_distribution<int> rare(0, 499);
  std::string text;
  for (size_t i = 0; i < pieces; ++i) {
    if (rare(*random) == 0) text += '\0';
    text += choices[pick(*random)];
  }
  return text;
}

TEST(ConvertCharsetTest, Utf8RunsConvertAsIconvDoes) {
  const std::vector<std::string_view> choices = {
      "a", "Z", " ", "\r\n", "\n", "\"", "\xE4\xB8\xAD", "\xE6\x96\x87", "\xC3\xA9",
      "\xEA\xB0\x80", "\xF0\x9F\x98\x80", "\xFF", "\x80", "\xE4\xB8", "\xC0\xAF",
      "\xE2\x82\xAC", "\xED\xA0\x80"};
  std::mt19937 random(936);
  for (int round = 0; round < 200; ++round) {
    std::string text = RandomText(&random, 1 + round * 3, choices);
    ASSERT_EQ(Utf8ToGbk(text), ConvertCharset(text, kUtf8ByIconv, "GBK"))
        << testing::PrintToString(text);
    ASSERT_EQ(ConvertCharset(text, "UTF-8", "UTF-8"), ConvertCharset(text, kUtf8ByIconv, "UTF-8"))
        << testing::PrintToString(text);
  }
}

TEST(ConvertCharsetTest, GbkRunsConvertAsIconvDoes) {
  // Pairs only, and no bad pair whose second byte could lead a character: a
  // lone byte of 0x80 or above would make the character steps differ from the
  // places where iconv starts characters.
  const std::vector<std::string_view> choices = {
      "a", " ", "\r\n", "\xD6\xD0", "\xCE\xC4", "\x81\x41", "\xA1\xA4", "\xFF\xFF",
      "\x81\x7F", "\xA2\xFF"};
  std::mt19937 random(936);
  for (int round = 0; round < 200; ++round) {
    std::string text = RandomText(&random, 1 + round * 3, choices);
    ASSERT_EQ(GbkToUtf8(text), ConvertCharset(text, kGbkByIconv, "UTF-8"))
        << testing::PrintToString(text);
    ASSERT_EQ(ConvertCharset(text, "GBK", "GBK"), ConvertCharset(text, kGbkByIconv, "GBK"))
        << testing::PrintToString(text);
  }
}

TEST(ConvertCharsetTest, ThreadsConvertAtTheSameTime) {
  const std::string utf8 = "id=\xE4\xB8\xAD\xE6\x96\x87 \xEA\xB0\x80;";
  const std::string gbk = "id=\xD6\xD0\xCE\xC4 ?;";
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 500; ++i) {
        if (Utf8ToGbk(utf8) != gbk) ++failures[t];
        if (GbkToUtf8(gbk) != "id=\xE4\xB8\xAD\xE6\x96\x87 ?;") ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

TEST(IsValidUtf8Test, AcceptsOnlyWellFormedUtf8) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("plain ascii text, longer than one word"));
  EXPECT_TRUE(IsValidUtf8("\xE4\xB8\xAD\xE6\x96\x87\xC3\xA9\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"));
  EXPECT_TRUE(IsValidUtf8("\xEF\xBB\xBF" "abc"));
  EXPECT_FALSE(IsValidUtf8("\xD6\xD0\xCE\xC4"));        // GBK
  EXPECT_FALSE(IsValidUtf8("abc\xE4\xB8"));             // cut short
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));                // overlong
  EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));            // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));            // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));        // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xE4\x41\xAD"));            // ASCII as continuation
  EXPECT_FALSE(IsValidUtf8("12345678\x80"));            // lone continuation
}

}  // namespace
}  // namespace morvellin
