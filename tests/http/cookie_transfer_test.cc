// Cookies over HTTP: what the shared store sends to which host, and what the
// responses set or delete, redirect hops included.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "lookup/cookie_store.h"
#include "lookup/page_fetch.h"
#include "tests/support/cookies.h"
#include "tests/support/loopback_server.h"

namespace morvellin {
namespace {

using testing::LoopbackServer;

using testing::MakeCookie;

// The names in a Cookie header.
std::set<std::string> CookieNames(const std::string& header) {
  std::set<std::string> names;
  size_t start = 0;
  while (start < header.size()) {
    size_t end = header.find("; ", start);
    std::string pair = header.substr(start, end == std::string::npos ? end : end - start);
    names.insert(pair.substr(0, pair.find('=')));
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return names;
}

const Cookie* Find(const std::vector<Cookie>& cookies, const std::string& name) {
  auto found = std::find_if(cookies.begin(), cookies.end(),
                            [&](const Cookie& c) { return c.name == name; });
  return found == cookies.end() ? nullptr : &*found;
}

// One loopback server that answers for several host names.
class CookieTransferTest : public ::testing::Test {
 protected:
  CookieTransferTest() {
    options_.cookies = &store_;
    for (const char* host :
         {"cards.shop.test", "other.shop.test", "shop.test", "notshop.test", "evil.test"}) {
      options_.connect_to.push_back(server_.ConnectTo(host));
    }
    server_.Handle("/", [](const httplib::Request&, httplib::Response& response) {
      response.set_content("page", "text/plain");
    });
  }

  // The Cookie header of the server's last request.
  std::string LastCookieHeader() const { return server_.Requests().back().Cookie(); }

  LoopbackServer server_;
  CookieStore store_;
  FetchOptions options_;
};

TEST_F(CookieTransferTest, CookiesSetAlongARedirectLandAndAreSentNextTime) {
  server_.Handle("/login", [](const httplib::Request&, httplib::Response& response) {
    response.set_header("Set-Cookie", "hop=1; Path=/");
    response.set_redirect("/home");
  });
  server_.Handle("/home", [](const httplib::Request&, httplib::Response& response) {
    response.set_header("Set-Cookie",
                        "final=2; Domain=shop.test; Path=/; HttpOnly; SameSite=Lax");
    response.set_content("home", "text/plain");
  });
  std::vector<CookieSource> sources;
  store_.SetObserver([&](CookieSource source, const std::vector<CookieChange>&) {
    sources.push_back(source);
  });

  EXPECT_EQ(FetchPage("http://cards.shop.test/login", options_), "home");
  EXPECT_EQ(LastCookieHeader(), "hop=1") << "the first hop's cookie goes with the second";
  EXPECT_EQ(sources, std::vector<CookieSource>{CookieSource::kHttp});
  std::vector<Cookie> held = store_.Snapshot();
  ASSERT_EQ(held.size(), 2u);
  const Cookie* hop = Find(held, "hop");
  const Cookie* final_cookie = Find(held, "final");
  ASSERT_TRUE(hop && final_cookie);
  EXPECT_EQ(hop->domain, "cards.shop.test");
  EXPECT_TRUE(hop->host_only);
  EXPECT_EQ(hop->same_site, "");
  EXPECT_EQ(final_cookie->domain, "shop.test");
  EXPECT_FALSE(final_cookie->host_only);
  EXPECT_TRUE(final_cookie->http_only);
  EXPECT_EQ(final_cookie->same_site, "Lax");

  FetchPage("http://cards.shop.test/", options_);
  EXPECT_EQ(CookieNames(LastCookieHeader()), (std::set<std::string>{"hop", "final"}));
}

TEST_F(CookieTransferTest, DeletionsOnAnyHopLeaveTheStore) {
  store_.Apply(CookieSource::kBrowser,
               {{MakeCookie("a", "1", "cards.shop.test", true), false},
                {MakeCookie("b", "1", "cards.shop.test", true), false},
                {MakeCookie("c", "1", "cards.shop.test", true), false}});
  server_.Handle("/logout", [](const httplib::Request&, httplib::Response& response) {
    response.set_header("Set-Cookie", "a=; Path=/; Max-Age=0");
    response.set_redirect("/bye");
  });
  server_.Handle("/bye", [](const httplib::Request&, httplib::Response& response) {
    response.set_header("Set-Cookie", "b=gone; Path=/; Expires=Thu, 01 Jan 1970 00:00:01 GMT");
    response.set_content("bye", "text/plain");
  });
  std::vector<CookieChange> heard;
  store_.SetObserver([&](CookieSource, const std::vector<CookieChange>& changes) {
    heard.insert(heard.end(), changes.begin(), changes.end());
  });

  FetchPage("http://cards.shop.test/logout", options_);
  EXPECT_EQ(CookieNames(LastCookieHeader()), (std::set<std::string>{"b", "c"}));
  std::vector<Cookie> held = store_.Snapshot();
  ASSERT_EQ(held.size(), 1u);
  EXPECT_EQ(held[0].name, "c");
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_TRUE(heard[0].removed && heard[1].removed);
}

TEST_F(CookieTransferTest, CookiesGoOnlyToTheHostsTheyBelongTo) {
  Cookie on_app_path = MakeCookie("p", "1", "shop.test", false);
  on_app_path.path = "/app";
  Cookie secure = MakeCookie("s", "1", "shop.test", false);
  secure.secure = true;
  store_.Apply(CookieSource::kBrowser,
               {{MakeCookie("h", "1", "cards.shop.test", true), false},
                {MakeCookie("d", "1", "shop.test", false), false},
                {on_app_path, false},
                {secure, false}});
  server_.Handle("/app/x", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("app", "text/plain");
  });
  struct Case {
    std::string address;
    std::set<std::string> sent;
  } cases[] = {
      {"http://cards.shop.test/", {"h", "d"}},
      {"http://cards.shop.test/app/x", {"h", "d", "p"}},
      {"http://other.shop.test/", {"d"}},
      {"http://shop.test/", {"d"}},
      {"http://notshop.test/", {}},
      {"http://evil.test/", {}},
  };
  for (const Case& c : cases) {
    FetchPage(c.address, options_);
    EXPECT_EQ(CookieNames(LastCookieHeader()), c.sent) << c.address;
  }
}

TEST_F(CookieTransferTest, ResponsesSetHostOnlyAndDomainCookiesAsTheySay) {
  server_.Handle("/set", [](const httplib::Request&, httplib::Response& response) {
    response.set_header("Set-Cookie", "h2=1; Path=/");
    response.headers.emplace("Set-Cookie", "d2=1; Domain=.shop.test; Path=/; SameSite=None");
    response.headers.emplace("Set-Cookie", "foreign=1; Domain=evil.test; Path=/");
    response.set_content("set", "text/plain");
  });
  FetchPage("http://cards.shop.test/set", options_);
  std::vector<Cookie> held = store_.Snapshot();
  ASSERT_EQ(held.size(), 2u) << "a cookie for another domain is refused";
  ASSERT_TRUE(Find(held, "h2") && Find(held, "d2"));
  EXPECT_TRUE(Find(held, "h2")->host_only);
  EXPECT_EQ(Find(held, "d2")->domain, "shop.test");
  EXPECT_FALSE(Find(held, "d2")->host_only);
  EXPECT_EQ(Find(held, "d2")->same_site, "None");

  FetchPage("http://other.shop.test/", options_);
  EXPECT_EQ(CookieNames(LastCookieHeader()), (std::set<std::string>{"d2"}));
  FetchPage("http://evil.test/", options_);
  EXPECT_EQ(LastCookieHeader(), "");
}

TEST_F(CookieTransferTest, ChangesMadeElsewhereDuringATransferSurviveIt) {
  store_.Apply(CookieSource::kBrowser, {{MakeCookie("a", "1", "cards.shop.test", true), false}});
  // While the request runs, the browser pane changes "a" and adds "b".
  server_.Handle("/slow", [this](const httplib::Request&, httplib::Response& response) {
    store_.Apply(CookieSource::kBrowser,
                 {{MakeCookie("a", "2", "cards.shop.test", true), false},
                  {MakeCookie("b", "1", "cards.shop.test", true), false}});
    response.set_header("Set-Cookie", "c=1; Path=/");
    response.set_content("slow", "text/plain");
  });
  FetchPage("http://cards.shop.test/slow", options_);
  std::vector<Cookie> held = store_.Snapshot();
  ASSERT_EQ(held.size(), 3u);
  EXPECT_EQ(Find(held, "a")->value, "2");
  EXPECT_TRUE(Find(held, "b") && Find(held, "c"));
}

}  // namespace
}  // namespace morvellin
