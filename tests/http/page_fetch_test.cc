// FetchPage and ReadWebResource against loopback servers: the requests they
// send and how FetchPage decodes what comes back.
#include "lookup/page_fetch.h"

#include <gtest/gtest.h>

#include "lookup/http_get.h"
#include "lookup/member_lookup.h"
#include "lookup/web_resource.h"
#include "tests/support/temp_folder.h"
#include "tests/http/tls_certificate.h"
#include "tests/support/loopback_server.h"

namespace morvellin {
namespace {

using testing::LoopbackServer;

constexpr char kPageUserAgent[] =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1; KX58V; .NET CLR 2.0.50727; "
    ".NET CLR 3.0.04506.648; .NET CLR 3.5.21022)";

TEST(RequestFlagsTest, SecureOnlyForHttpsAddresses) {
  EXPECT_EQ(RequestFlags("http://srv/x"), 0x80004010u);
  EXPECT_EQ(RequestFlags("HTTPS://SRV/X"), 0x80800010u);
  EXPECT_EQ(RequestFlags("https:"), 0x80800010u);
  EXPECT_EQ(RequestFlags("srv/x"), 0x80004010u);
  EXPECT_EQ(RequestFlags("http"), 0x80004010u);
}

TEST(FetchPageTest, SendsTheLookupRequestToTheTradeCardHost) {
  LoopbackServer server;
  CookieStore cookies;
  Cookie login;
  login.name = "_tb_token_";
  login.value = "t0k";
  login.domain = "tradecardseller.wangwang.taobao.com";
  cookies.Apply(CookieSource::kBrowser, {{login, false}});
  FetchOptions options;
  options.cookies = &cookies;
  options.connect_to = {server.ConnectTo(kTradeCardHost, 80)};

  const Text address = LookupAddress("Tb_01 A/b");
  FetchPage(address, options);

  ASSERT_EQ(server.Requests().size(), 1u);
  const testing::RecordedRequest seen = server.Requests()[0];
  const std::string head = "http://" + std::string(kTradeCardHost);
  ASSERT_EQ(address.rfind(head, 0), 0u);
  EXPECT_EQ(seen.method, "GET");
  EXPECT_EQ(seen.version, "HTTP/1.1");
  EXPECT_EQ(seen.target, address.substr(head.size()));  // letter case kept
  EXPECT_EQ(seen.target.rfind("/tradecard/nameCard.htm?spm=989.1000764.0.0.nXpSTa&loginId=", 0),
            0u);
  EXPECT_EQ(seen.header_lines,
            (std::vector<std::string>{
                "Host: tradecardseller.wangwang.taobao.com",
                std::string("User-Agent: ") + kPageUserAgent,
                "Cookie: _tb_token_=t0k",
                "Referer: " + address,
                "Accept: */*",
                "Accept-Language: zh-cn",
                "Content-Type: application/x-www-form-urlencoded",
            }));
}

// One page body and its response's Content-Type, and the Text that
// FetchPage makes of it.
struct DecodeCase {
  std::string name;
  std::string body;
  std::string content_type;
  std::string text;
};

TEST(FetchPageTest, DecodesUtf8PagesToGbk) {
  const std::string zhongwen_utf8 = "\xe4\xb8\xad\xe6\x96\x87", zhongwen_gbk = "\xd6\xd0\xce\xc4";
  const std::string before_499(498, 'x'), before_500(499, 'x');
  const std::vector<DecodeCase> cases = {
      {"marker at byte 499", before_499 + "utf-8" + zhongwen_utf8, "text/html",
       before_499 + "utf-8" + zhongwen_gbk},
      {"marker at byte 500", before_500 + "utf-8" + zhongwen_utf8, "text/html",
       before_500 + "utf-8" + zhongwen_utf8},
      {"marker at byte 500, header says utf-8", before_500 + "utf-8" + zhongwen_utf8,
       "text/html; charset=UTF-8", before_500 + "utf-8" + zhongwen_gbk},
      {"marker only in upper case", "<meta charset=\"UTF-8\">" + zhongwen_utf8, "text/html",
       "<meta charset=\"UTF-8\">" + zhongwen_utf8},
      {"header only", zhongwen_utf8, "text/html; charset=UTF-8", zhongwen_gbk},
      {"no GBK form", "a\xea\xb0\x80" "b", "text/html; charset=utf-8", "a?b"},
      {"zero byte", std::string("ab\0cd", 5), "text/plain", "ab"},
      {"zero byte after conversion", std::string("utf-8\0cd", 8), "text/plain", "utf-8"},
      {"empty", "", "text/html; charset=utf-8", ""},
  };
  LoopbackServer server;
  server.Handle("/page", [&](const httplib::Request& request, httplib::Response& response) {
    const DecodeCase& c = cases.at(std::stoul(request.get_param_value("case")));
    response.set_content(c.body, c.content_type);
  });
  for (size_t i = 0; i < cases.size(); ++i) {
    Text text = FetchPage(server.Origin() + "/page?case=" + std::to_string(i), FetchOptions());
    EXPECT_EQ(text, cases[i].text) << cases[i].name;
  }
}

TEST(FetchPageTest, HeaderTextCountsOnlyWhenItFitsItsBuffer) {
  const std::string body = "\xe4\xb8\xad";  // one UTF-8 character
  size_t pad = 1;
  LoopbackServer server;
  server.Handle("/page", [&](const httplib::Request&, httplib::Response& response) {
    response.set_header("X-Pad", std::string(pad, 'p'));
    response.set_content(body, "text/html; charset=utf-8");
  });
  HttpGetRequest request;
  request.host = "127.0.0.1";
  request.port = server.port();
  request.path = "/page";
  const size_t base = HttpGet(request, FetchOptions()).header_text.size();
  ASSERT_LT(base, 4999u);

  // 4999 bytes and the terminating zero fill the buffer exactly.
  pad = 1 + 4999 - base;
  ASSERT_EQ(HttpGet(request, FetchOptions()).header_text.size(), 4999u);
  EXPECT_EQ(FetchPage(server.Origin() + "/page", FetchOptions()), "\xd6\xd0");
  pad += 1;
  ASSERT_EQ(HttpGet(request, FetchOptions()).header_text.size(), 5000u);
  EXPECT_EQ(FetchPage(server.Origin() + "/page", FetchOptions()), body);
}

TEST(FetchPageTest, NoServerGivesAnEmptyText) {
  FetchOptions options;
  options.connect_to = {"nobody.test:80:127.0.0.1:" + std::to_string(testing::UnusedLoopbackPort())};
  EXPECT_EQ(FetchPage("http://nobody.test/x", options), "");
}

TEST(FetchPageTest, HttpsAddressesGoOverTls) {
  testing::TempFolder folder;
  testing::TlsCertificate certificate({"secure.shop.test"}, folder / "ca.pem");
  LoopbackServer server(
      std::make_unique<httplib::SSLServer>(certificate.certificate(), certificate.key()));
  server.Handle("/Page", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("over tls", "text/plain");
  });
  CookieStore cookies;
  Cookie secure;
  secure.name = "s";
  secure.value = "1";
  secure.domain = "secure.shop.test";
  secure.secure = true;
  cookies.Apply(CookieSource::kBrowser, {{secure, false}});
  FetchOptions options;
  options.cookies = &cookies;
  options.ca_file = certificate.pem_path();
  options.connect_to = {server.ConnectTo("secure.shop.test", 443)};

  EXPECT_EQ(FetchPage("HTTPS://SECURE.SHOP.TEST/Page", options), "over tls");
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].target, "/Page");
  EXPECT_EQ(server.Requests()[0].Cookie(), "s=1");
}

TEST(ReadWebResourceTest, SendsItsOwnRequestAndReturnsEveryByte) {
  LoopbackServer server;
  server.Handle("/velkorrj/chaid.txt", [](const httplib::Request&, httplib::Response& response) {
    response.status = 404;
    response.set_content(std::string("V1.0\0\r\nmore", 11), "text/plain");
  });
  Bytes body = ReadWebResource(server.Origin() + "/velkorrj/chaid.txt", FetchOptions());
  EXPECT_EQ(body, std::string("V1.0\0\r\nmore", 11));

  ASSERT_EQ(server.Requests().size(), 1u);
  const testing::RecordedRequest seen = server.Requests()[0];
  EXPECT_EQ(seen.version, "HTTP/1.0");
  EXPECT_EQ(seen.target, "/velkorrj/chaid.txt");
  EXPECT_EQ(seen.header_lines,
            (std::vector<std::string>{
                "Host: 127.0.0.1:" + std::to_string(server.port()),
                "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)",
                "Accept: */*",
                "Cache-Control: no-cache",
                "Pragma: no-cache",
            }));

  FetchOptions nowhere;
  nowhere.connect_to = {"nobody.test:80:127.0.0.1:" +
                        std::to_string(testing::UnusedLoopbackPort())};
  EXPECT_EQ(ReadWebResource("http://nobody.test/velkorrj/chaid.txt", nowhere), "");
}

}  // namespace
}  // namespace morvellin
