// The browser pane and the lookups share one cookie store. End to end: pages
// served through a loopback proxy set cookies in the pane that the next
// lookup sends; a lookup's responses set and delete cookies that the pane's
// next request shows; host-only stays host-only and HttpOnly stays HttpOnly
// both ways; persistent cookies outlive the window, session cookies do not.
// Every request goes to loopback: the pane through its proxy, the lookups
// through curl's connect_to.
#include "ui/cookie_bridge.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "lookup/member_lookup.h"
#include "tests/support/cookies.h"
#include "tests/support/loopback_server.h"
#include "tests/window/window_test_support.h"
#include "ui/main_window.h"

namespace morvellin {
namespace {

namespace wt = morvellin::testing;
using namespace std::chrono_literals;

using testing::MakeCookie;

TEST(CookieConversionTest, KeepsEveryAttributeBothWays) {
  struct Case {
    const char* what;
    Cookie cookie;
    const char* soup_domain;
  };
  Cookie secure = MakeCookie("s", "1", "login.taobao.com", true);
  secure.secure = true;
  secure.http_only = true;
  secure.path = "/member";
  Cookie lasting = MakeCookie("l", "2", "taobao.com", false);
  lasting.expires = 2000000000;
  lasting.same_site = "Lax";
  Cookie strict = MakeCookie("t", "3", "taobao.com", false);
  strict.same_site = "Strict";
  const Case cases[] = {
      {"host-only session", MakeCookie("a", "x y", "login.taobao.com", true), "login.taobao.com"},
      {"domain", MakeCookie("b", "", "taobao.com", false), ".taobao.com"},
      {"secure, HttpOnly, path", secure, "login.taobao.com"},
      {"persistent, Lax", lasting, ".taobao.com"},
      {"Strict", strict, ".taobao.com"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    SoupCookie* soup = SoupCookieFrom(test.cookie);
    EXPECT_STREQ(soup_cookie_get_domain(soup), test.soup_domain);
    EXPECT_EQ(CookieFromSoup(soup), test.cookie);
    soup_cookie_free(soup);
  }
}

TEST(CookieConversionTest, ReadsSetCookieHeadersAsABrowserKeepsThem) {
  GUri* page = g_uri_parse("http://login.taobao.com/member/login.jhtml", G_URI_FLAGS_NONE,
                           nullptr);
  struct Case {
    const char* header;
    const char* domain;
    bool host_only;
    bool http_only;
    const char* same_site;
  };
  const Case cases[] = {
      {"a=1; Path=/", "login.taobao.com", true, false, ""},
      {"b=2; Domain=.taobao.com; Path=/; HttpOnly", "taobao.com", false, true, ""},
      {"c=3; Domain=taobao.com; SameSite=Strict", "taobao.com", false, false, "Strict"},
      {"d=4; SameSite=None; Secure", "login.taobao.com", true, false, ""},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.header);
    SoupCookie* soup = soup_cookie_parse(test.header, page);
    ASSERT_NE(soup, nullptr);
    const Cookie cookie = CookieFromSoup(soup);
    EXPECT_EQ(cookie.domain, test.domain);
    EXPECT_EQ(cookie.host_only, test.host_only);
    EXPECT_EQ(cookie.http_only, test.http_only);
    EXPECT_EQ(cookie.same_site, test.same_site);
    soup_cookie_free(soup);
  }
  g_uri_unref(page);
}

// "a=1; b=2" as {"a=1", "b=2"}.
std::set<std::string> CookiePairs(const std::string& header) {
  std::set<std::string> pairs;
  size_t start = 0;
  while (start < header.size()) {
    size_t end = header.find("; ", start);
    if (end == std::string::npos) end = header.size();
    pairs.insert(header.substr(start, end - start));
    start = end + 2;
  }
  return pairs;
}

void SetCookies(httplib::Response& response, const std::vector<std::string>& cookies) {
  for (const std::string& cookie : cookies) response.set_header("Set-Cookie", cookie);
}

constexpr char kCardPage[] = "<html><body><div data-buyerId=\"42\"></div></body></html>";
constexpr char kLogin[] = "http://login.taobao.com/member/login.jhtml";
constexpr char kLoginEcho[] = "http://login.taobao.com/echo";
constexpr char kSubEcho[] = "http://www.login.taobao.com/echo";
constexpr char kCardEcho[] = "http://tradecardseller.wangwang.taobao.com/echo";

class SharedCookiesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* echo : {kLoginEcho, kSubEcho, kCardEcho}) {
      site.Handle(echo, [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><body>echo</body></html>", "text/html");
      });
    }
    site.Handle("http://proxy-check.test/", [](const httplib::Request&, httplib::Response& r) {
      r.set_content("<html><body>proxied</body></html>", "text/html");
    });
    site.Handle(kLogin, [](const httplib::Request&, httplib::Response& response) {
      SetCookies(response, {"sess=s1; Domain=taobao.com; Path=/",
                            "hid=h1; Domain=taobao.com; Path=/; HttpOnly; Max-Age=3600",
                            "host=o1; Path=/"});
      response.set_content(
          "<html><body><script>document.cookie = 'js=j1; domain=taobao.com; path=/';"
          "</script>login</body></html>",
          "text/html");
    });
    site.Handle("/tradecard/nameCard.htm", [](const httplib::Request&, httplib::Response& r) {
      r.set_content(kCardPage, "text/html");
    });
    OpenWindow(wt::NewScratchSubfolder("browser-data"));
  }

  void OpenWindow(const std::string& data_directory) {
    MainWindowOptions options = wt::QuietWindowOptions();
    options.cookies = &store;
    options.data_directory = data_directory;
    options.proxy_address = site.Origin();
    options.fetch.connect_to = {site.ConnectTo(kTradeCardHost)};
    window = std::make_unique<MainWindow>(options);
    // The pane must reach nothing but the loopback proxy: prove it with a
    // name that resolves nowhere before any page on a real name is asked for.
    ASSERT_TRUE(wt::LoadPage(view(), "http://proxy-check.test/"));
    ASSERT_FALSE(SentBy("http://proxy-check.test/").empty());
  }

  WebKitWebView* view() { return window->web_view(); }

  // The requests that reached the loopback server for `target` (absolute
  // form from the pane's proxy, origin form from curl).
  std::vector<wt::RecordedRequest> SentBy(const std::string& target) {
    std::vector<wt::RecordedRequest> found;
    for (const wt::RecordedRequest& request : site.Requests()) {
      if (request.path == target) found.push_back(request);
    }
    return found;
  }

  // The cookies of the last request for `target`.
  std::set<std::string> LastCookies(const std::string& target) {
    std::vector<wt::RecordedRequest> requests = SentBy(target);
    if (requests.empty()) {
      ADD_FAILURE() << "no request for " << target;
      return {};
    }
    return CookiePairs(requests.back().Cookie());
  }

  // Loads the login page and waits until the cookie its script sets has
  // reached the store: the script's cookie travels from the page to WebKit's
  // network process on a channel of its own and may land after the load has
  // finished, where a person's click always comes later.
  void LogIn() {
    ASSERT_TRUE(wt::LoadPage(view(), kLogin));
    ASSERT_TRUE(wt::WaitUntil([&] { return Stored("js") != nullptr; }));
  }

  std::set<std::string> PaneSends(const std::string& echo) {
    EXPECT_TRUE(wt::LoadPage(view(), echo));
    return LastCookies(echo);
  }

  const Cookie* Stored(const std::string& name) {
    held = store.Snapshot();
    for (const Cookie& cookie : held) {
      if (cookie.name == name) return &cookie;
    }
    return nullptr;
  }

  wt::LoopbackServer site;
  CookieStore store;
  std::unique_ptr<MainWindow> window;
  std::vector<Cookie> held;
};

TEST_F(SharedCookiesTest, PaneLoginCookiesGoWithTheNextLookup) {
  LogIn();
  EXPECT_EQ(window->LookUp("nick"), "42");

  const std::set<std::string> sent = LastCookies("/tradecard/nameCard.htm");
  EXPECT_TRUE(sent.count("sess=s1"));  // session, domain
  EXPECT_TRUE(sent.count("hid=h1"));   // HttpOnly, persistent
  EXPECT_TRUE(sent.count("js=j1"));    // set by the page's script
  EXPECT_FALSE(sent.count("host=o1")); // host-only for the login host

  const Cookie* host = Stored("host");
  ASSERT_NE(host, nullptr);
  EXPECT_TRUE(host->host_only);
  EXPECT_EQ(host->domain, "login.taobao.com");
  const Cookie* hid = Stored("hid");
  ASSERT_NE(hid, nullptr);
  EXPECT_TRUE(hid->http_only);
  EXPECT_FALSE(hid->host_only);
  EXPECT_NE(hid->expires, 0);
  const Cookie* sess = Stored("sess");
  ASSERT_NE(sess, nullptr);
  EXPECT_EQ(sess->expires, 0);
}

TEST_F(SharedCookiesTest, CookiesOfALookupsRedirectReachThePane) {
  site.Handle("/tradecard/nameCard.htm", [](const httplib::Request&, httplib::Response& r) {
    SetCookies(r, {"hop=p1; Domain=taobao.com; Path=/", "card=c1; Path=/; HttpOnly"});
    r.set_redirect("/tradecard/final.htm", 302);
  });
  site.Handle("/tradecard/final.htm", [](const httplib::Request&, httplib::Response& r) {
    SetCookies(r, {"late=l1; Domain=taobao.com; Path=/; Max-Age=600"});
    r.set_content(kCardPage, "text/html");
  });
  EXPECT_EQ(window->LookUp("nick"), "42");

  const std::set<std::string> login = PaneSends(kLoginEcho);
  EXPECT_TRUE(login.count("hop=p1"));
  EXPECT_TRUE(login.count("late=l1"));
  EXPECT_FALSE(login.count("card=c1"));  // host-only for the card host

  const std::set<std::string> card = PaneSends(kCardEcho);
  EXPECT_TRUE(card.count("card=c1"));
  EXPECT_TRUE(card.count("hop=p1"));
  // HttpOnly reached the pane too: the page's script cannot see it.
  const std::string visible = wt::RunScript(view(), "document.cookie");
  EXPECT_NE(visible.find("hop=p1"), std::string::npos);
  EXPECT_EQ(visible.find("card=c1"), std::string::npos);
}

TEST_F(SharedCookiesTest, DeletionsTravelBothWays) {
  LogIn();
  // The pane logs out of the session cookie...
  site.Handle("http://login.taobao.com/logout", [](const httplib::Request&, httplib::Response& r) {
    SetCookies(r, {"sess=; Domain=taobao.com; Path=/; Max-Age=0"});
    r.set_content("<html><body>bye</body></html>", "text/html");
  });
  ASSERT_TRUE(wt::LoadPage(view(), "http://login.taobao.com/logout"));
  // ...and the lookup's response deletes another one.
  site.Handle("/tradecard/nameCard.htm", [](const httplib::Request&, httplib::Response& r) {
    SetCookies(r, {"hid=; Domain=taobao.com; Path=/; Expires=Thu, 01 Jan 1970 00:00:00 GMT"});
    r.set_content(kCardPage, "text/html");
  });
  EXPECT_EQ(window->LookUp("nick"), "42");

  const std::set<std::string> lookup = LastCookies("/tradecard/nameCard.htm");
  EXPECT_FALSE(lookup.count("sess=s1"));
  EXPECT_TRUE(lookup.count("hid=h1"));
  EXPECT_EQ(Stored("sess"), nullptr);
  EXPECT_EQ(Stored("hid"), nullptr);

  const std::set<std::string> pane = PaneSends(kLoginEcho);
  EXPECT_FALSE(pane.count("hid=h1"));
  EXPECT_FALSE(pane.count("sess=s1"));
  EXPECT_TRUE(pane.count("js=j1"));
}

TEST_F(SharedCookiesTest, CookiesLoadedIntoTheStoreReachThePaneAsTheyAre) {
  Cookie domain = MakeCookie("f", "1", "taobao.com", false);
  Cookie host_only = MakeCookie("h", "2", "login.taobao.com", true);
  store.Apply(CookieSource::kFile, {{domain, false}, {host_only, false}});
  EXPECT_TRUE(window->cookie_bridge().FlushToBrowser());

  const std::set<std::string> login = PaneSends(kLoginEcho);
  EXPECT_TRUE(login.count("f=1"));
  EXPECT_TRUE(login.count("h=2"));
  // Host-only stays host-only: not sent to a subdomain.
  const std::set<std::string> sub = PaneSends(kSubEcho);
  EXPECT_TRUE(sub.count("f=1"));
  EXPECT_FALSE(sub.count("h=2"));
}

TEST_F(SharedCookiesTest, AFreshPaneSnapshotNeverDropsALookupsCookie) {
  // A change from a lookup lands in the store just before a snapshot of the
  // pane, which does not know it yet, is asked for.
  for (int i = 0; i < 5; ++i) {
    const std::string name = "fresh" + std::to_string(i);
    store.Apply(CookieSource::kHttp, {{MakeCookie(name, "v", "taobao.com", false), false}});
    EXPECT_TRUE(window->cookie_bridge().PullFromBrowser());
    EXPECT_NE(Stored(name), nullptr) << name;
  }
  const std::set<std::string> pane = PaneSends(kLoginEcho);
  EXPECT_TRUE(pane.count("fresh0=v"));
  EXPECT_TRUE(pane.count("fresh4=v"));
}

TEST_F(SharedCookiesTest, PersistentCookiesOutliveTheWindowAndSessionCookiesDoNot) {
  const std::string data = wt::NewScratchSubfolder("lasting-data");
  OpenWindow(data);
  LogIn();
  ASSERT_TRUE(window->cookie_bridge().PullFromBrowser());
  ASSERT_NE(Stored("sess"), nullptr);
  window.reset();
  EXPECT_TRUE(std::filesystem::exists(data + "/cookies.sqlite"));

  // A new run: an empty store, the same data folder.
  store.ReplaceAll(CookieSource::kBrowser, {});
  OpenWindow(data);
  ASSERT_TRUE(window->cookie_bridge().PullFromBrowser());
  EXPECT_NE(Stored("hid"), nullptr);
  EXPECT_EQ(Stored("sess"), nullptr);
  EXPECT_EQ(Stored("js"), nullptr);
}

}  // namespace
}  // namespace morvellin
