// FetchPage: one HTTP GET, the page returned as GBK text.
#ifndef MORVELLIN_LOOKUP_PAGE_FETCH_H_
#define MORVELLIN_LOOKUP_PAGE_FETCH_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lookup/cookie_store.h"
#include "lookup/text.h"

namespace morvellin {

// What a request runs with. The caller owns everything it points to.
struct FetchOptions {
  // The shared store: its cookies are sent and the responses' cookies land in
  // it. Null sends no cookies and keeps none.
  CookieStore* cookies = nullptr;
  // Set by another thread to end the transfer at once; the result is then
  // what arrived so far.
  const std::atomic<bool>* cancel = nullptr;
  // Connecting, name lookup included, gives up after this long.
  long connect_timeout_seconds = 30;
  // A transfer that receives nothing for this long ends with what arrived.
  long idle_timeout_seconds = 60;
  // A body that grows past this stops there, as a partial read.
  size_t max_body_bytes = size_t{256} << 20;
  // curl CONNECT_TO entries ("host:port:connect-host:connect-port") that send
  // a request for a real host to another address. Tests only.
  std::vector<std::string> connect_to;
  // A PEM file of certificates to trust instead of the system's. Tests only.
  std::string ca_file;
};

constexpr uint32_t kFlagReload = 0x80000000;
constexpr uint32_t kFlagNeedFile = 0x00000010;
constexpr uint32_t kFlagSecure = 0x00800000;
constexpr uint32_t kFlagIgnoreRedirectToHttps = 0x00004000;

// 0x80800010 for an https address, 0x80004010 for any other.
uint32_t RequestFlags(std::string_view address);

// GETs `address` over HTTP/1.1 with the fixed User-Agent and header lines and
// the store's cookies, following redirects, and returns the body as Text:
// re-encoded from UTF-8 to GBK when the body or the response headers say
// "utf-8", cut at its first zero byte. Failures give an empty Text or the part
// of the body that arrived; nothing is reported.
Text FetchPage(std::string_view address, const FetchOptions& options);

}  // namespace morvellin

#endif  // MORVELLIN_LOOKUP_PAGE_FETCH_H_
