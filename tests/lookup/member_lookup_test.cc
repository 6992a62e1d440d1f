// The escaped nickname and the trade-card address built from it.
#include "lookup/member_lookup.h"

#include <gtest/gtest.h>

#include <ostream>

#include "lookup/url.h"

namespace morvellin {
namespace {

struct EncodeCase {
  const char* name;
  std::string_view nickname;
  std::string_view encoded;
};

// Names the case in test output.
void PrintTo(const EncodeCase& c, std::ostream* os) { *os << c.name; }

class EncodeNicknameTest : public testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeNicknameTest, EscapesEveryByteOutsideTheKeptSet) {
  EXPECT_EQ(EncodeNickname(GetParam().nickname), GetParam().encoded);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EncodeNicknameTest,
    testing::Values(
        EncodeCase{"Empty", "", ""},
        EncodeCase{"SpaceSlashUnderscore", "tb_01 a/b", "tb%5F01%20a%2Fb"},
        EncodeCase{"KeptPunctuation", "Ab-9.z~*+", "Ab-9.z%7E%2A%2B"},
        EncodeCase{"QuerySyntax", "%&=?#", "%25%26%3D%3F%23"},
        EncodeCase{"GbkText", "\xB2\xE2\xCA\xD4\xB5\xEA\xC6\xCC", "%B2%E2%CA%D4%B5%EA%C6%CC"},
        EncodeCase{"SecondByteALetter", "\x81\x41", "%81A"},
        EncodeCase{"LeadingZero", "\r\n", "%0D%0A"},
        EncodeCase{"ZeroAndTopBytes", std::string_view("\0\xFF", 2), "%00%FF"},
        EncodeCase{"AroundKeptRanges", ",/:@[`{", "%2C%2F%3A%40%5B%60%7B"}),
    [](const testing::TestParamInfo<EncodeCase>& info) { return info.param.name; });

TEST(LookupAddressTest, JoinsHeadNicknameAndTail) {
  EXPECT_EQ(LookupAddress("tb_01 a/b"),
            "http://tradecardseller.wangwang.taobao.com"
            "/tradecard/nameCard.htm?spm=989.1000764.0.0.nXpSTa"
            "&loginId=cntaobao%CA%BE%C0%FD%C2%F4%BC%D2%D5%CB%BA%C5"
            "&uid=cntaobaotb%5F01%20a%2Fb&ver=7.20.36T&queryOrderCount=0&qq-pf-to=pcqq.c2c");
  EXPECT_NE(LookupAddress("").find("&uid=cntaobao&ver=7.20.36T"), std::string::npos);
}

TEST(LookupAddressTest, SplitsIntoTradeCardHostPortAndPath) {
  UrlParts parts = SplitUrl(LookupAddress("\xB2\xE2\xCA\xD4"));
  EXPECT_EQ(parts.host, kTradeCardHost);
  EXPECT_EQ(parts.port, 80);
  EXPECT_TRUE(parts.path.starts_with(
      "/tradecard/nameCard.htm?spm=989.1000764.0.0.nXpSTa&loginId=cntaobao%CA%BE"))
      << parts.path;
  EXPECT_TRUE(parts.path.ends_with("&uid=cntaobao%B2%E2%CA%D4&ver=7.20.36T"
                                   "&queryOrderCount=0&qq-pf-to=pcqq.c2c"))
      << parts.path;
}

}  // namespace
}  // namespace morvellin
