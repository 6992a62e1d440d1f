// HttpGet: the one HTTP GET over libcurl that FetchPage and ReadWebResource
// share. Internal to the engine; the callers own the request's constants and
// what they make of the result.
#ifndef MORVELLIN_LOOKUP_HTTP_GET_H_
#define MORVELLIN_LOOKUP_HTTP_GET_H_

#include <string>
#include <string_view>
#include <vector>

#include "lookup/page_fetch.h"
#include "lookup/text.h"

namespace morvellin {

struct HttpGetRequest {
  bool secure = false;  // https instead of http
  std::string host;     // as SplitUrl gives it
  int port = 0;         // 0: the scheme's default port
  std::string path;     // starts with "/", query included, sent as it is
  bool http_1_0 = false;
  std::string user_agent;
  // Sent as given, in this order, on every hop; line ends inside a line are
  // dropped so that no value can add a header line of its own.
  std::vector<std::string> header_lines;
};

struct HttpGetResult {
  Bytes body;  // the final response's body, or what of it arrived
  // The final response's status line and header lines, CR LF after each.
  std::string header_text;
  int curl_code = 0;  // CURLE_OK when the transfer ended normally
};

// Runs the GET with the options' limits and cookie store. Never throws; a
// request that cannot be made gives an empty result with curl_code set.
HttpGetResult HttpGet(const HttpGetRequest& request, const FetchOptions& options);

// The URL that HttpGet requests: the scheme, the host, the port and the path
// with spaces, control bytes, bytes of 0x80 and above and "#" percent-encoded.
// Empty when the host is not a plain host name or the port is out of range.
std::string RequestUrl(const HttpGetRequest& request);

// True when following a redirect from `from_url` to `to_url` would leave
// https for plain http; such a redirect is not followed.
bool IsDowngradeToPlainHttp(std::string_view from_url, std::string_view to_url);

// The SameSite attribute of a Set-Cookie header value: "None", "Lax",
// "Strict", or empty when it is absent or unknown.
std::string SameSiteOf(std::string_view set_cookie_value);

}  // namespace morvellin

#endif  // MORVELLIN_LOOKUP_HTTP_GET_H_
