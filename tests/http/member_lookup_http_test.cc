// LookupMemberId end to end: the nickname in the request, and the buyer ID
// taken from trade-card pages served on loopback.
#include "lookup/member_lookup.h"

#include <gtest/gtest.h>

#include "tests/support/loopback_server.h"

namespace morvellin {
namespace {

using testing::LoopbackServer;

constexpr char kCardPath[] = "/tradecard/nameCard.htm";

struct PageCase {
  std::string name;
  std::string page;
  std::string id;
  std::string content_type = "text/html";
  int status = 200;
};

class MemberLookupHttpTest : public ::testing::Test {
 protected:
  MemberLookupHttpTest() { options_.connect_to = {server_.ConnectTo(kTradeCardHost, 80)}; }

  LoopbackServer server_;
  FetchOptions options_;
};

TEST_F(MemberLookupHttpTest, TakesTheBuyerIdFromThePage) {
  const std::vector<PageCase> cases = {
      {"plain", "<div data-buyerId=\"123\">", "123"},
      {"name in any case", "<div DATA-BUYERID=\"123\">", "123"},
      {"runs to the line's last quote", "<div data-buyerId=\"123\" class=\"x\">",
       "123\" class=\"x"},
      {"first of two lines", "<a data-buyerId=\"1\">\r\n<b data-buyerId=\"2\">", "1"},
      {"open line skipped", "<a data-buyerId=\"1\n<b data-buyerId=\"2\">", "2"},
      {"only an open line", "<a data-buyerId=\"1\nx\">", ""},
      {"empty value", "<div data-buyerId=\"\">", ""},
      {"no attribute", "<html><body>nothing</body></html>", ""},
      {"error page", "<div data-buyerId=\"404404\">", "404404", "text/html", 404},
      {"UTF-8 page", "<div data-buyerId=\"\xe4\xb9\xb0\xe5\xae\xb6\">", "\xc2\xf2\xbc\xd2",
       "text/html; charset=utf-8"},
      {"GBK page", "<div data-buyerId=\"\xc2\xf2\xbc\xd2\">", "\xc2\xf2\xbc\xd2",
       "text/html; charset=gbk"},
  };
  server_.Handle(kCardPath, [&](const httplib::Request& request, httplib::Response& response) {
    // uid is "cntaobao" and the nickname, which is the case number here.
    const PageCase& c = cases.at(std::stoul(request.get_param_value("uid").substr(8)));
    response.status = c.status;
    response.set_content(c.page, c.content_type);
  });
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(LookupMemberId(std::to_string(i), options_), cases[i].id) << cases[i].name;
  }
}

TEST_F(MemberLookupHttpTest, SendsTheEscapedNicknameAndUsesAPartialPage) {
  server_.Handle(kCardPath, [](const httplib::Request&, httplib::Response& response) {
    // The attribute arrives, then the connection breaks.
    response.set_content_provider(10000, "text/html",
                                  [](size_t, size_t, httplib::DataSink& sink) {
                                    std::string part = "<div data-buyerId=\"77\">";
                                    sink.write(part.data(), part.size());
                                    return false;
                                  });
  });
  EXPECT_EQ(LookupMemberId("\xb2\xe2\xca\xd4 a/b", options_), "77");
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_NE(server_.Requests()[0].target.find("&uid=cntaobao%B2%E2%CA%D4%20a%2Fb&ver=7.20.36T&"),
            std::string::npos)
      << server_.Requests()[0].target;
}

TEST_F(MemberLookupHttpTest, NoServerGivesAnEmptyId) {
  options_.connect_to = {std::string(kTradeCardHost) + ":80:127.0.0.1:" +
                         std::to_string(testing::UnusedLoopbackPort())};
  EXPECT_EQ(LookupMemberId("nobody", options_), "");
}

}  // namespace
}  // namespace morvellin
