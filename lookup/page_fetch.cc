// FetchPage: the GET of one page with the fixed request of the lookup, and
// the page decoding that the lookup relies on.
#include "lookup/page_fetch.h"

#include <algorithm>

#include "lookup/charset_buffers.h"
#include "lookup/http_get.h"
#include "lookup/url.h"

namespace morvellin {

namespace {

constexpr std::string_view kUserAgent =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1; KX58V; .NET CLR 2.0.50727; "
    ".NET CLR 3.0.04506.648; .NET CLR 3.5.21022)";
constexpr std::string_view kUtf8Marker = "utf-8";
// The marker counts in the body only when it begins at one of these bytes.
constexpr size_t kUtf8BodyWindow = 499;
// The header text is looked at only when it fits this many bytes together
// with a terminating zero byte.
constexpr size_t kHeaderBufferBytes = 5000;

bool IsUtf8Page(std::string_view body, std::string_view header_text) {
  std::string_view head = body.substr(0, kUtf8BodyWindow - 1 + kUtf8Marker.size());
  if (head.find(kUtf8Marker) != std::string_view::npos) return true;
  if (header_text.size() + 1 > kHeaderBufferBytes) return false;
  return FindTextIgnoreCase(header_text, kUtf8Marker) != -1;
}

}  // namespace

uint32_t RequestFlags(std::string_view address) {
  uint32_t flags = kFlagReload | kFlagNeedFile;
  flags |= IsHttpsAddress(address) ? kFlagSecure : kFlagIgnoreRedirectToHttps;
  return flags;
}

Text FetchPage(std::string_view address, const FetchOptions& options) {
  const UrlParts parts = SplitUrl(address);
  const uint32_t flags = RequestFlags(address);

  HttpGetRequest request;
  // RELOAD and NEED_FILE ask for a fresh answer from the server, which every
  // request here gets; IGNORE_REDIRECT_TO_HTTPS lets http go on to https,
  // which the redirect policy of HttpGet allows.
  request.secure = (flags & kFlagSecure) != 0;
  request.host = parts.host;
  request.port = parts.port;
  request.path = parts.path;
  request.user_agent = kUserAgent;
  request.header_lines = {
      "Referer: " + std::string(address),
      "Accept: */*",
      "Accept-Language: zh-cn",
      "Content-Type: application/x-www-form-urlencoded",
  };
  HttpGetResult response = HttpGet(request, options);

  // A page may be many megabytes: it is re-encoded and cut where it arrived.
  Bytes body = std::move(response.body);
  if (!body.empty() && IsUtf8Page(body, response.header_text)) {
    // Ends before the first U+0000, and GBK encodes no other character with
    // a zero byte.
    Utf8ToGbkInPlace(&body);
  } else {
    body.resize(std::min(body.size(), body.find('\0')));  // as TextFromBytes
  }
  return body;
}

}  // namespace morvellin
