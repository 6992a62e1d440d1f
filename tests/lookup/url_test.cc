// Taking addresses apart into host, port and path.
#include "lookup/url.h"

#include <gtest/gtest.h>

#include <ostream>
#include <climits>

namespace morvellin {
namespace {

struct UrlCase {
  const char* name;
  std::string_view address;
  std::string_view host;
  int port;
  std::string_view path;
};

// Names the case in test output.
void PrintTo(const UrlCase& c, std::ostream* os) { *os << c.name; }

class SplitUrlTest : public testing::TestWithParam<UrlCase> {};

TEST_P(SplitUrlTest, GivesHostPortPath) {
  const UrlCase& c = GetParam();
  UrlParts parts = SplitUrl(c.address);
  EXPECT_EQ(parts.host, c.host);
  EXPECT_EQ(parts.port, c.port);
  EXPECT_EQ(parts.path, c.path);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitUrlTest,
    testing::Values(
        UrlCase{"PortAndQuery", "HTTP://Srv:8080/A/b?X=1", "srv", 8080, "/A/b?X=1"},
        UrlCase{"NoScheme", "srv/x", "srv", 80, "/x"},
        UrlCase{"NoPath", "http://srv", "srv", 80, "/"},
        UrlCase{"Https", "HTTPS://SRV/X", "srv", 443, "/X"},
        UrlCase{"HttpsWithPortNoPath", "https://srv:8443", "srv", 8443, "/"},
        UrlCase{"EmptyPort", "http://srv:/x", "srv", 0, "/x"},
        UrlCase{"PortAfterLastColon", "http://a:1:2/x", "a", 2, "/x"},
        UrlCase{"PortWithLeadingSpace", "http://srv: \t81/x", "srv", 81, "/x"},
        UrlCase{"PortWithSign", "http://srv:+82/x", "srv", 82, "/x"},
        UrlCase{"NegativePort", "http://srv:-1/x", "srv", -1, "/x"},
        UrlCase{"PortUpToNonDigit", "http://srv:12ab/x", "srv", 12, "/x"},
        UrlCase{"PortWithoutDigits", "http://srv:ab/x", "srv", 0, "/x"},
        UrlCase{"PortTooLarge", "http://srv:99999999999/x", "srv", INT_MAX, "/x"},
        UrlCase{"FullWidthDigits", "http://srv:\xA3\xB8\xA3\xB0/x", "srv", 80, "/x"},
        UrlCase{"FullWidthSpace", "http://srv:\xA1\xA1\xA3\xB9" "1/x", "srv", 91, "/x"},
        // A host that also occurs inside "http://" is not looked for there.
        UrlCase{"HostInsideScheme", "http://h/x", "h", 80, "/x"},
        UrlCase{"HostInsideSchemeWithPort", "http://tp:8/Y", "tp", 8, "/Y"},
        UrlCase{"AddressInQuery", "http://srv/a?u=http://other/b", "srv", 80,
                "/a?u=http://other/b"},
        UrlCase{"GbkHost", "http://\xB2\xE2\xCA\xD4.CN/A", "\xB2\xE2\xCA\xD4.cn", 80, "/A"},
        // 0x81 0x41 keeps its second byte "A" as it is.
        UrlCase{"SecondByteNotLowered", "http://\x81\x41" "B/x", "\x81\x41" "b", 80, "/x"}),
    [](const testing::TestParamInfo<UrlCase>& info) { return info.param.name; });

TEST(IsHttpsAddressTest, LooksAtFirstFiveBytes) {
  EXPECT_TRUE(IsHttpsAddress("HTTPS://x/"));
  EXPECT_TRUE(IsHttpsAddress("https"));
  EXPECT_FALSE(IsHttpsAddress("http://x/"));
  EXPECT_FALSE(IsHttpsAddress("http"));
  EXPECT_FALSE(IsHttpsAddress(""));
}

}  // namespace
}  // namespace morvellin
