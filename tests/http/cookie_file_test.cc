// The Netscape cookie file: the lines curl writes and reads, round trips,
// malformed files and saves that fail.
#include "lookup/cookie_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/cookies.h"
#include "tests/support/loopback_server.h"
#include "tests/support/temp_folder.h"

namespace morvellin {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

using testing::MakeCookie;

TEST(CookieFileTest, LinesAreWrittenAsCurlWritesThem) {
  Cookie host_only = MakeCookie("sid", "abc", "cards.shop.test", true);
  Cookie domain = MakeCookie("t", "x=y", "shop.test", false);
  domain.path = "/app";
  domain.secure = true;
  domain.expires = 1999999999;
  Cookie http_only = MakeCookie("_tb_token_", "", "shop.test", false);
  http_only.http_only = true;
  struct Case {
    Cookie cookie;
    std::string line;
  } cases[] = {
      {host_only, "cards.shop.test\tFALSE\t/\tFALSE\t0\tsid\tabc"},
      {domain, ".shop.test\tTRUE\t/app\tTRUE\t1999999999\tt\tx=y"},
      {http_only, "#HttpOnly_.shop.test\tTRUE\t/\tFALSE\t0\t_tb_token_\t"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatNetscapeLine(c.cookie), c.line);
    Cookie parsed;
    ASSERT_TRUE(ParseNetscapeLine(c.line, &parsed)) << c.line;
    EXPECT_EQ(parsed, c.cookie) << c.line;
  }
}

TEST(CookieFileTest, ReadsCommentsLineEndsAndExporterVariants) {
  const std::string text =
      "# Netscape HTTP Cookie File\r\n"
      "\r\n"
      "   \n"
      "#HttpOnly_.Shop.Test\tTRUE\t/\tfalse\t0\tsid\tv1\r\n"
      "cards.shop.test\tfalse\t/\tTrue\t1999999999\tsix\n"  // no value field
      "# a comment\tthat has\ttabs\n"
      "shop.test\tTRUE\t/\tFALSE\t0\tlast\tno line end";
  std::vector<Cookie> cookies;
  std::string error;
  ASSERT_TRUE(ParseCookieFileText(text, &cookies, &error)) << error;
  ASSERT_EQ(cookies.size(), 3u);
  EXPECT_EQ(cookies[0].domain, "shop.test");
  EXPECT_FALSE(cookies[0].host_only);
  EXPECT_TRUE(cookies[0].http_only);
  EXPECT_EQ(cookies[0].value, "v1");
  EXPECT_TRUE(cookies[1].host_only);
  EXPECT_TRUE(cookies[1].secure);
  EXPECT_EQ(cookies[1].name, "six");
  EXPECT_EQ(cookies[1].value, "");
  EXPECT_EQ(cookies[2].value, "no line end");
  EXPECT_FALSE(cookies[2].host_only);  // TRUE without a leading dot
}

TEST(CookieFileTest, MalformedLinesAreRefusedWithTheirNumber) {
  struct Case {
    std::string line;
    std::string message;
  } cases[] = {
      {"shop.test\tTRUE\t/\tFALSE\t0", "expected 7 tab-separated fields, found 5"},
      {"shop.test\tTRUE\t/\tFALSE\t0\ta\tb\tc", "found 8"},
      {"shop.test TRUE / FALSE 0 a b", "found 1"},
      {"\tTRUE\t/\tFALSE\t0\ta\tb", "empty domain"},
      {"shop.test\tYES\t/\tFALSE\t0\ta\tb", "second field"},
      {"shop.test\tTRUE\t/\t1\t0\ta\tb", "fourth field"},
      {"shop.test\tTRUE\t/\tFALSE\tsoon\ta\tb", "expiry"},
      {"shop.test\tTRUE\t/\tFALSE\t12x\ta\tb", "expiry"},
      {"shop.test\tTRUE\t/\tFALSE\t\ta\tb", "expiry"},
  };
  for (const Case& c : cases) {
    std::vector<Cookie> cookies = {MakeCookie("kept", "1", "x.test", true)};
    std::string error;
    const std::string text = "# header\nshop.test\tTRUE\t/\tFALSE\t0\tok\t1\n" + c.line + "\n";
    EXPECT_FALSE(ParseCookieFileText(text, &cookies, &error)) << c.line;
    EXPECT_EQ(error.rfind("line 3: ", 0), 0u) << error;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_EQ(cookies.size(), 1u) << "output changed on error";
  }
}

TEST(CookieFileTest, SaveAndLoadKeepEveryCookieOfTheStore) {
  TempFolder folder;
  const std::string path = folder / "cookies.txt";
  CookieStore store;
  Cookie secure = MakeCookie("s", "1", "shop.test", false);
  secure.secure = true;
  secure.http_only = true;
  secure.expires = 1999999999;
  Cookie session = MakeCookie("cna", "a b\"c", "cards.shop.test", true);
  session.path = "/tradecard";
  Cookie expired = MakeCookie("old", "1", "shop.test", true);
  expired.expires = 1;
  store.Apply(CookieSource::kBrowser, {{secure, false}, {session, false}});
  std::string error;
  ASSERT_TRUE(SaveCookieFile(path, store, &error)) << error;
  EXPECT_EQ(ReadFile(path).rfind("# Netscape HTTP Cookie File\n", 0), 0u);
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u) << "a new cookie file is private";

  CookieStore loaded;
  loaded.Apply(CookieSource::kHttp, {{MakeCookie("replaced", "1", "x.test", true), false}});
  ASSERT_TRUE(LoadCookieFile(path, &loaded, &error)) << error;
  EXPECT_EQ(loaded.Snapshot(), store.Snapshot());
}

TEST(CookieFileTest, FailedLoadOrSaveChangesNothing) {
  TempFolder folder;
  CookieStore store;
  store.Apply(CookieSource::kHttp, {{MakeCookie("kept", "1", "shop.test", true), false}});
  const std::vector<Cookie> before = store.Snapshot();
  std::string error;

  EXPECT_FALSE(LoadCookieFile(folder / "missing.txt", &store, &error));
  EXPECT_NE(error.find("missing.txt"), std::string::npos) << error;
  const std::string bad = folder / "bad.txt";
  WriteFile(bad, "shop.test\tTRUE\t/\tFALSE\t0\tnew\t1\nnot a cookie line\n");
  EXPECT_FALSE(LoadCookieFile(bad, &store, &error));
  EXPECT_NE(error.find("line 2"), std::string::npos) << error;
  EXPECT_EQ(store.Snapshot(), before);

  // The target is a folder: the rename fails; nothing is left behind.
  const std::string target = folder / "taken";
  std::filesystem::create_directory(target);
  WriteFile(target + "/inside", "x");
  EXPECT_FALSE(SaveCookieFile(target, store, &error));
  EXPECT_NE(error.find("taken"), std::string::npos) << error;
  EXPECT_EQ(ReadFile(target + "/inside"), "x");
  size_t entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 2u) << "a temporary file was left behind";
  EXPECT_FALSE(SaveCookieFile(folder / "no/such/folder.txt", store, &error));
}

TEST(CookieFileTest, SavingReplacesTheFileAndKeepsItsMode) {
  TempFolder folder;
  const std::string path = folder / "cookies.txt";
  WriteFile(path, "old content\n");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  CookieStore store;
  store.Apply(CookieSource::kHttp, {{MakeCookie("a", "1", "shop.test", true), false}});
  std::string error;
  ASSERT_TRUE(SaveCookieFile(path, store, &error)) << error;
  EXPECT_NE(ReadFile(path).find("shop.test\tFALSE\t/\tFALSE\t0\ta\t1\n"), std::string::npos);
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

// Runs the curl program; its cookie jar and cookie file reading are the
// reference for the format.
int RunCurl(const std::string& arguments) {
  return std::system(("curl -q -s -o /dev/null --noproxy '*' " + arguments).c_str());
}

TEST(CookieFileTest, FilesMoveBothWaysBetweenCurlAndTheStore) {
  TempFolder folder;
  testing::LoopbackServer server;
  server.Handle("/set", [](const httplib::Request&, httplib::Response& response) {
    response.set_header("Set-Cookie", "host=1; Path=/");
    response.headers.emplace("Set-Cookie", "dom=2; Domain=shop.test; Path=/; HttpOnly");
    response.headers.emplace("Set-Cookie", "later=3; Path=/; Max-Age=3600");
    response.set_content("ok", "text/plain");
  });
  server.Handle("/get", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("ok", "text/plain");
  });
  const std::string connect = " --connect-to " + server.ConnectTo("cards.shop.test") + " ";

  const std::string jar = folder / "curl-jar.txt";
  ASSERT_EQ(RunCurl(connect + "-c " + jar + " http://cards.shop.test/set"), 0);
  CookieStore store;
  std::string error;
  ASSERT_TRUE(LoadCookieFile(jar, &store, &error)) << error;
  std::vector<Cookie> cookies = store.Snapshot();
  ASSERT_EQ(cookies.size(), 3u) << ReadFile(jar);
  for (const Cookie& cookie : cookies) {
    if (cookie.name == "host") {
      EXPECT_TRUE(cookie.host_only);
      EXPECT_EQ(cookie.domain, "cards.shop.test");
    } else if (cookie.name == "dom") {
      EXPECT_FALSE(cookie.host_only);
      EXPECT_EQ(cookie.domain, "shop.test");
      EXPECT_TRUE(cookie.http_only);
    } else {
      EXPECT_EQ(cookie.name, "later");
      EXPECT_GT(cookie.expires, 0);
    }
  }

  Cookie ours = MakeCookie("ours", "4", "shop.test", false);
  ours.http_only = true;
  store.Apply(CookieSource::kBrowser, {{ours, false}});
  const std::string file = folder / "ours.txt";
  ASSERT_TRUE(SaveCookieFile(file, store, &error)) << error;
  ASSERT_EQ(RunCurl(connect + "-b " + file + " http://cards.shop.test/get"), 0);
  ASSERT_EQ(server.Requests().size(), 2u);
  const std::string sent = server.Requests()[1].Cookie();
  for (const char* pair : {"host=1", "dom=2", "later=3", "ours=4"}) {
    EXPECT_NE(sent.find(pair), std::string::npos) << sent;
  }
}

}  // namespace
}  // namespace morvellin
