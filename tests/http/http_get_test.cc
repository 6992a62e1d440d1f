// HttpGet against loopback servers: the URL it builds, the final response's
// headers, limits, cancelling, redirects and the https-to-http refusal.
#include "lookup/http_get.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>

#include "tests/support/temp_folder.h"
#include "tests/http/tls_certificate.h"
#include "tests/support/loopback_server.h"

namespace morvellin {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackServer;

HttpGetRequest RequestFor(const LoopbackServer& server, std::string path) {
  HttpGetRequest request;
  request.host = "127.0.0.1";
  request.port = server.port();
  request.path = std::move(path);
  request.user_agent = "test-agent";
  return request;
}

TEST(RequestUrlTest, BuildsTheUrlCurlIsGiven) {
  struct Case {
    bool secure;
    std::string host;
    int port;
    std::string path;
    std::string url;
  } cases[] = {
      {false, "srv", 8080, "/A/b?X=1", "http://srv:8080/A/b?X=1"},
      {true, "srv", 0, "/X", "https://srv:443/X"},  // port 0: the scheme's
      {false, "srv", 0, "/x", "http://srv:80/x"},
      {false, "srv", 80, "", "http://srv:80/"},
      // Bytes that curl would refuse or take apart are escaped; "%" stays.
      {false, "srv", 80, "/a b\tc#d?q=%41\x7f\xb2\xe2", "http://srv:80/a%20b%09c%23d?q=%41%7F%B2%E2"},
      {false, "srv", 80, std::string("/a\0b\r\n", 6), "http://srv:80/a%00b%0D%0A"},
      {false, "", 80, "/", ""},
      {false, "user@srv", 80, "/", ""},
      {false, "evil.test#.srv", 80, "/", ""},
      {false, "srv", 65536, "/", ""},
      {false, "srv", -1, "/", ""},
  };
  for (const Case& c : cases) {
    HttpGetRequest request;
    request.secure = c.secure;
    request.host = c.host;
    request.port = c.port;
    request.path = c.path;
    EXPECT_EQ(RequestUrl(request), c.url) << c.host << " " << c.path;
  }
}

TEST(RedirectPolicyTest, OnlyHttpsToPlainHttpIsADowngrade) {
  EXPECT_TRUE(IsDowngradeToPlainHttp("https://a/x", "http://b/y"));
  EXPECT_TRUE(IsDowngradeToPlainHttp("HTTPS://a/x", "HTTP://a/x"));
  EXPECT_FALSE(IsDowngradeToPlainHttp("http://a/x", "https://b/y"));
  EXPECT_FALSE(IsDowngradeToPlainHttp("https://a/x", "https://b/y"));
  EXPECT_FALSE(IsDowngradeToPlainHttp("http://a/x", "http://b/y"));
  EXPECT_FALSE(IsDowngradeToPlainHttp("", "http://a/"));  // the first request
}

TEST(SameSiteTest, ReadsTheAttributeInAnyCase) {
  EXPECT_EQ(SameSiteOf("a=1; Path=/; SameSite=Lax"), "Lax");
  EXPECT_EQ(SameSiteOf("a=1;samesite=STRICT;HttpOnly"), "Strict");
  EXPECT_EQ(SameSiteOf(" a=1 ; SameSite = none ; Secure"), "None");
  EXPECT_EQ(SameSiteOf("a=1; Path=/"), "");
  EXPECT_EQ(SameSiteOf("a=1; SameSite=Sometimes"), "");
  EXPECT_EQ(SameSiteOf("SameSite=Lax"), "");  // that is the cookie's name
}

TEST(HttpGetTest, SendsExactlyTheGivenRequest) {
  LoopbackServer server;
  HttpGetRequest request = RequestFor(server, "/A/../b c?Q=%41&x=\xb2\xe2");
  request.header_lines = {"Referer: http://x/\r\nX-Injected: 1", "Accept: text/x"};
  request.http_1_0 = true;
  // Proxies from the environment are not used.
  setenv("http_proxy", "http://127.0.0.1:1", 1);
  HttpGetResult result = HttpGet(request, FetchOptions());
  unsetenv("http_proxy");
  EXPECT_EQ(result.curl_code, CURLE_OK);

  ASSERT_EQ(server.Requests().size(), 1u);
  const testing::RecordedRequest seen = server.Requests()[0];
  EXPECT_EQ(seen.method, "GET");
  EXPECT_EQ(seen.target, "/A/../b%20c?Q=%41&x=%B2%E2");  // dot segments kept
  EXPECT_EQ(seen.version, "HTTP/1.0");
  EXPECT_EQ(seen.header_lines,
            (std::vector<std::string>{"Host: 127.0.0.1:" + std::to_string(server.port()),
                                      "User-Agent: test-agent",
                                      "Referer: http://x/X-Injected: 1", "Accept: text/x"}));
}

TEST(HttpGetTest, HeaderTextIsThatOfTheFinalResponse) {
  LoopbackServer server;
  server.Handle("/first", [](const httplib::Request&, httplib::Response& response) {
    response.set_redirect("/second");
    response.set_header("X-Hop", "first");
    response.set_content("redirect body", "text/plain");
  });
  server.Handle("/second", [](const httplib::Request&, httplib::Response& response) {
    response.set_header("X-Hop", "second");
    response.set_content("final body", "text/html; charset=GBK");
  });
  HttpGetResult result = HttpGet(RequestFor(server, "/first"), FetchOptions());
  EXPECT_EQ(result.curl_code, CURLE_OK);
  EXPECT_EQ(result.body, "final body");
  EXPECT_EQ(result.header_text.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << result.header_text;
  EXPECT_NE(result.header_text.find("\r\nX-Hop: second\r\n"), std::string::npos);
  EXPECT_NE(result.header_text.find("\r\nContent-Type: text/html; charset=GBK\r\n"),
            std::string::npos);
  EXPECT_EQ(result.header_text.find("first"), std::string::npos);
  EXPECT_TRUE(result.header_text.ends_with("\r\n"));
  EXPECT_FALSE(result.header_text.ends_with("\r\n\r\n"));
}

// How a transfer ends early, and what of the body is kept.
TEST(HttpGetTest, TransfersThatEndEarlyKeepWhatArrived) {
  LoopbackServer server;
  server.Handle("/big", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(std::string(5000, 'b'), "text/plain");
  });
  // Announces 100 bytes, sends 40 and closes the connection.
  server.Handle("/cut", [](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(100, "text/plain",
                                  [](size_t, size_t, httplib::DataSink& sink) {
                                    sink.write(std::string(40, 'c').data(), 40);
                                    return false;
                                  });
  });
  // Sends a part, then nothing for a long while, then the rest.
  server.Handle("/stall", [&server](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(
        9, "text/plain", [&server](size_t offset, size_t, httplib::DataSink& sink) {
          if (offset == 0) {
            sink.write("early", 5);
            return true;
          }
          server.Stall(20s);
          sink.write("late", 4);
          return true;
        });
  });

  FetchOptions capped;
  capped.max_body_bytes = 1000;
  HttpGetResult result = HttpGet(RequestFor(server, "/big"), capped);
  EXPECT_EQ(result.body, std::string(1000, 'b'));
  EXPECT_EQ(result.curl_code, CURLE_WRITE_ERROR);

  result = HttpGet(RequestFor(server, "/cut"), FetchOptions());
  EXPECT_EQ(result.body, std::string(40, 'c'));
  EXPECT_NE(result.curl_code, CURLE_OK);

  FetchOptions impatient;
  impatient.idle_timeout_seconds = 1;
  result = HttpGet(RequestFor(server, "/stall"), impatient);
  EXPECT_EQ(result.body, "early");
  EXPECT_EQ(result.curl_code, CURLE_OPERATION_TIMEDOUT);
}

TEST(HttpGetTest, CancelEndsTheTransferWithWhatArrived) {
  LoopbackServer server;
  std::atomic<bool> cancel{false};
  // The server pulls the cord once its first part is written. The part is
  // larger than the socket buffers hold, so by then the client has read
  // some of it.
  const std::string first(16 << 20, 'e');
  server.Handle("/stall", [&](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(
        first.size() + 4, "text/plain", [&](size_t offset, size_t, httplib::DataSink& sink) {
          if (offset == 0) {
            sink.write(first.data(), first.size());
            cancel = true;
            return true;
          }
          server.Stall(20s);
          sink.write("late", 4);
          return true;
        });
  });
  FetchOptions options;
  options.cancel = &cancel;
  HttpGetResult result = HttpGet(RequestFor(server, "/stall"), options);
  EXPECT_EQ(result.curl_code, CURLE_ABORTED_BY_CALLBACK);
  EXPECT_FALSE(result.body.empty());
  EXPECT_LE(result.body.size(), first.size());
  EXPECT_EQ(result.body.find_first_not_of('e'), std::string::npos);

  // Already cancelled: no request at all.
  result = HttpGet(RequestFor(server, "/stall"), options);
  EXPECT_EQ(result.body, "");
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(HttpGetTest, NoServerListeningGivesNothing) {
  HttpGetRequest request;
  request.host = "127.0.0.1";
  request.port = testing::UnusedLoopbackPort();
  request.path = "/";
  HttpGetResult result = HttpGet(request, FetchOptions());
  EXPECT_EQ(result.body, "");
  EXPECT_EQ(result.header_text, "");
  EXPECT_EQ(result.curl_code, CURLE_COULDNT_CONNECT);
}

TEST(HttpGetTest, RedirectsAreLimitedToTenAndToHttp) {
  LoopbackServer server;
  server.Handle("/loop", [](const httplib::Request& request, httplib::Response& response) {
    int hop = std::atoi(request.get_param_value("n").c_str());
    if (hop < 50) {
      response.set_redirect("/loop?n=" + std::to_string(hop + 1));
    } else {
      response.set_content("end of the loop", "text/plain");
    }
  });
  server.Handle("/to-file", [](const httplib::Request&, httplib::Response& response) {
    response.set_redirect("file:///etc/passwd");
  });
  server.Handle("/to-ftp", [](const httplib::Request&, httplib::Response& response) {
    response.set_redirect("ftp://127.0.0.1/x");
  });

  HttpGetResult result = HttpGet(RequestFor(server, "/loop?n=0"), FetchOptions());
  EXPECT_EQ(result.curl_code, CURLE_TOO_MANY_REDIRECTS);
  EXPECT_EQ(result.body, "");
  EXPECT_EQ(server.Requests().size(), 11u);  // the first request and 10 redirects

  for (const char* path : {"/to-file", "/to-ftp"}) {
    result = HttpGet(RequestFor(server, path), FetchOptions());
    EXPECT_NE(result.curl_code, CURLE_OK) << path;
    EXPECT_EQ(result.body, "") << path;
  }
}

// A TLS server for secure.shop.test and a plain one for plain.shop.test,
// both on loopback.
class TlsRedirectTest : public ::testing::Test {
 protected:
  TlsRedirectTest()
      : certificate_({"secure.shop.test"}, folder_ / "ca.pem"),
        secure_(std::make_unique<httplib::SSLServer>(certificate_.certificate(),
                                                     certificate_.key())) {
    options_.ca_file = certificate_.pem_path();
    options_.connect_to = {secure_.ConnectTo("secure.shop.test", 443),
                           plain_.ConnectTo("plain.shop.test", 80)};
  }

  static HttpGetRequest Request(bool secure, std::string host, std::string path) {
    HttpGetRequest request;
    request.secure = secure;
    request.host = std::move(host);
    request.path = std::move(path);
    return request;
  }

  testing::TempFolder folder_;
  testing::TlsCertificate certificate_;
  LoopbackServer secure_;
  LoopbackServer plain_;
  FetchOptions options_;
};

TEST_F(TlsRedirectTest, HttpsToHttpIsRefusedAndHttpToHttpsFollowed) {
  secure_.Handle("/down", [](const httplib::Request&, httplib::Response& response) {
    response.set_redirect("http://plain.shop.test/landing");
  });
  secure_.Handle("/page", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("secure page", "text/plain");
  });
  plain_.Handle("/up", [](const httplib::Request&, httplib::Response& response) {
    response.set_redirect("https://secure.shop.test/page");
  });
  plain_.Handle("/up-and-down", [](const httplib::Request&, httplib::Response& response) {
    response.set_redirect("https://secure.shop.test/down");
  });
  plain_.Handle("/landing", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("plain page", "text/plain");
  });

  HttpGetResult result = HttpGet(Request(true, "secure.shop.test", "/down"), options_);
  EXPECT_EQ(result.body, "");
  EXPECT_NE(result.curl_code, CURLE_OK);
  EXPECT_TRUE(plain_.Requests().empty()) << "the plain host got a request";
  EXPECT_EQ(result.header_text.rfind("HTTP/1.1 302", 0), 0u) << result.header_text;

  result = HttpGet(Request(false, "plain.shop.test", "/up"), options_);
  EXPECT_EQ(result.body, "secure page");
  EXPECT_EQ(result.curl_code, CURLE_OK);

  // Once on https, a chain that began on http may not go back to it.
  result = HttpGet(Request(false, "plain.shop.test", "/up-and-down"), options_);
  EXPECT_EQ(result.body, "");
  ASSERT_EQ(plain_.Requests().size(), 2u);
  EXPECT_EQ(plain_.Requests()[1].path, "/up-and-down");
}

}  // namespace
}  // namespace morvellin
