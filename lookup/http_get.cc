// One GET through libcurl: redirects, cookies and limits are curl's own
// features; this file sets them up and moves cookies between the shared
// store and curl's cookie engine.
#include "lookup/http_get.h"

#include <curl/curl.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <mutex>
#include <new>

#include "lookup/cookie_file.h"

namespace morvellin {

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return false;
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

std::string Lowered(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = LowerAscii(c);
  return lowered;
}

bool IsHostName(std::string_view host) {
  if (host.empty()) return false;
  return std::all_of(host.begin(), host.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '.' || c == '_';
  });
}

// What one Set-Cookie header said, as far as the store needs it beyond what
// curl's cookie list keeps.
struct SetCookieLine {
  std::string host;    // of the response that carried it
  std::string name;
  std::string domain;  // the Domain attribute, lowered, without leading dot
  std::string path;    // the Path attribute
  std::string same_site;
};

SetCookieLine ParseSetCookie(std::string_view value, std::string host) {
  SetCookieLine line;
  line.host = std::move(host);
  bool first = true;
  while (!value.empty()) {
    size_t end = value.find(';');
    std::string_view part = value.substr(0, end);
    value.remove_prefix(end == std::string_view::npos ? value.size() : end + 1);
    size_t equals = part.find('=');
    std::string_view key = Trim(part.substr(0, equals));
    std::string_view content =
        equals == std::string_view::npos ? std::string_view() : Trim(part.substr(equals + 1));
    if (first) {
      line.name = key;
      first = false;
      continue;
    }
    std::string attribute = Lowered(key);
    if (attribute == "domain") {
      while (content.starts_with('.')) content.remove_prefix(1);
      line.domain = Lowered(content);
    } else if (attribute == "path") {
      line.path = content;
    } else if (attribute == "samesite") {
      std::string lowered = Lowered(content);
      if (lowered == "none") line.same_site = "None";
      if (lowered == "lax") line.same_site = "Lax";
      if (lowered == "strict") line.same_site = "Strict";
    }
  }
  return line;
}

// The state of one transfer that curl's callbacks work on.
struct Transfer {
  CURL* curl = nullptr;
  const FetchOptions* options = nullptr;
  HttpGetResult result;
  std::string previous_url;
  std::vector<SetCookieLine> set_cookies;
};

std::string HostOfUrl(const char* url) {
  std::string host;
  CURLU* parsed = curl_url();
  char* part = nullptr;
  if (url != nullptr && curl_url_set(parsed, CURLUPART_URL, url, 0) == CURLUE_OK &&
      curl_url_get(parsed, CURLUPART_HOST, &part, 0) == CURLUE_OK) {
    host = Lowered(part);
  }
  curl_free(part);
  curl_url_cleanup(parsed);
  return host;
}

// curl's callbacks are C code: nothing may be thrown through them, so
// running out of memory ends the transfer instead.
size_t OnHeader(char* data, size_t size, size_t count, void* user) try {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t length = size * count;
  std::string_view line(data, length);
  while (line.ends_with('\n') || line.ends_with('\r')) line.remove_suffix(1);
  if (line.starts_with("HTTP/")) {
    // A new response: what came before belonged to an earlier hop.
    transfer->result.header_text.clear();
    transfer->result.body.clear();
  }
  if (line.empty()) return length;
  transfer->result.header_text.append(line);
  transfer->result.header_text.append("\r\n");
  if (StartsWithIgnoreCase(line, "set-cookie:")) {
    char* url = nullptr;
    curl_easy_getinfo(transfer->curl, CURLINFO_EFFECTIVE_URL, &url);
    transfer->set_cookies.push_back(ParseSetCookie(line.substr(11), HostOfUrl(url)));
  }
  return length;
} catch (const std::bad_alloc&) {
  return 0;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) try {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t length = size * count;
  const size_t cap = transfer->options->max_body_bytes;
  Bytes& body = transfer->result.body;
  if (body.empty()) {
    // One allocation for the announced length instead of repeated growth.
    curl_off_t announced = -1;
    curl_easy_getinfo(transfer->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    if (announced > 0) body.reserve(std::min(static_cast<size_t>(announced), cap));
  }
  const size_t room = cap - std::min(body.size(), cap);
  if (length > room) {
    // The cap ends the transfer; what fits is kept as a partial read.
    body.append(data, room);
    return 0;
  }
  body.append(data, length);
  return length;
} catch (const std::bad_alloc&) {
  return 0;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::atomic<bool>* cancel = transfer->options->cancel;
  return cancel != nullptr && cancel->load() ? 1 : 0;
}

// Runs before each request, on the first hop and on every redirect.
int OnBeforeRequest(void* user, char*, char*, int, int) {
  auto* transfer = static_cast<Transfer*>(user);
  char* url = nullptr;
  curl_easy_getinfo(transfer->curl, CURLINFO_EFFECTIVE_URL, &url);
  std::string current = url != nullptr ? url : "";
  if (IsDowngradeToPlainHttp(transfer->previous_url, current)) {
    return CURL_PREREQFUNC_ABORT;
  }
  transfer->previous_url = std::move(current);
  return CURL_PREREQFUNC_OK;
}

struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

Slist MakeSlist(const std::vector<std::string>& lines) {
  curl_slist* list = nullptr;
  for (const std::string& line : lines) {
    curl_slist* grown = curl_slist_append(list, line.c_str());
    if (grown == nullptr) break;
    list = grown;
  }
  return Slist(list);
}

// curl's cookie engine as store cookies.
std::vector<Cookie> CurlCookies(CURL* curl) {
  curl_slist* list = nullptr;
  std::vector<Cookie> cookies;
  if (curl_easy_getinfo(curl, CURLINFO_COOKIELIST, &list) != CURLE_OK) return cookies;
  for (curl_slist* item = list; item != nullptr; item = item->next) {
    Cookie cookie;
    if (ParseNetscapeLine(item->data, &cookie)) cookies.push_back(std::move(cookie));
  }
  curl_slist_free_all(list);
  return cookies;
}

// The SameSite of the last Set-Cookie header that set `cookie`.
std::string SameSiteFor(const Cookie& cookie, const std::vector<SetCookieLine>& lines) {
  for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
    if (line->name != cookie.name) continue;
    bool domain_matches = line->domain.empty()
                              ? cookie.host_only && line->host == cookie.domain
                              : !cookie.host_only && line->domain == cookie.domain;
    bool path_matches = !line->path.starts_with('/') || line->path == cookie.path;
    if (domain_matches && path_matches) return line->same_site;
  }
  return {};
}

// What the transfer did to curl's cookies, as changes for the store: cookies
// added or changed, and cookies gone or expired (a deletion by a response).
std::vector<CookieChange> CookieChanges(const std::vector<Cookie>& before,
                                        const std::vector<Cookie>& after,
                                        const std::vector<SetCookieLine>& lines) {
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  auto live = [now](const Cookie& c) { return c.expires == 0 || c.expires > now; };
  std::vector<CookieChange> changes;
  for (const Cookie& cookie : after) {
    if (!live(cookie)) continue;
    auto old = std::find_if(before.begin(), before.end(),
                            [&](const Cookie& c) { return c.SameKey(cookie); });
    if (old != before.end() && *old == cookie) continue;
    CookieChange change{cookie, false};
    change.cookie.same_site = SameSiteFor(cookie, lines);
    changes.push_back(std::move(change));
  }
  for (const Cookie& cookie : before) {
    bool kept = std::any_of(after.begin(), after.end(), [&](const Cookie& c) {
      return live(c) && c.SameKey(cookie);
    });
    if (!kept) changes.push_back({cookie, true});
  }
  return changes;
}

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

std::string RequestUrl(const HttpGetRequest& request) {
  if (!IsHostName(request.host) || request.port < 0 || request.port > 65535) return {};
  int port = request.port != 0 ? request.port : (request.secure ? 443 : 80);
  std::string url = request.secure ? "https://" : "http://";
  url += request.host;
  url += ':';
  url += std::to_string(port);
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (char c : request.path) {
    auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F || byte >= 0x80 || c == '#') {
      url += '%';
      url += kHex[byte >> 4];
      url += kHex[byte & 0x0F];
    } else {
      url += c;
    }
  }
  if (request.path.empty()) url += '/';
  return url;
}

bool IsDowngradeToPlainHttp(std::string_view from_url, std::string_view to_url) {
  return StartsWithIgnoreCase(from_url, "https:") && StartsWithIgnoreCase(to_url, "http:");
}

std::string SameSiteOf(std::string_view set_cookie_value) {
  return ParseSetCookie(set_cookie_value, {}).same_site;
}

HttpGetResult HttpGet(const HttpGetRequest& request, const FetchOptions& options) {
  Transfer transfer;
  transfer.options = &options;
  const std::string url = RequestUrl(request);
  if (url.empty()) {
    transfer.result.curl_code = CURLE_URL_MALFORMAT;
    return transfer.result;
  }
  if (options.cancel != nullptr && options.cancel->load()) {
    transfer.result.curl_code = CURLE_ABORTED_BY_CALLBACK;
    return transfer.result;
  }
  InitCurlOnce();
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(),
                                                           &curl_easy_cleanup);
  if (!curl) {
    transfer.result.curl_code = CURLE_FAILED_INIT;
    return transfer.result;
  }
  transfer.curl = curl.get();
  CURL* handle = curl.get();

  std::vector<std::string> header_lines;
  for (std::string line : request.header_lines) {
    std::erase_if(line, [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
    header_lines.push_back(std::move(line));
  }
  Slist headers = MakeSlist(header_lines);
  Slist connect_to = MakeSlist(options.connect_to);

  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(handle, CURLOPT_HTTP_VERSION,
                   request.http_1_0 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(handle, CURLOPT_USERAGENT, request.user_agent.c_str());
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_PROXY, "");
  curl_easy_setopt(handle, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  if (connect_to) curl_easy_setopt(handle, CURLOPT_CONNECT_TO, connect_to.get());
  if (!options.ca_file.empty()) curl_easy_setopt(handle, CURLOPT_CAINFO, options.ca_file.c_str());

  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_PREREQFUNCTION, &OnBeforeRequest);
  curl_easy_setopt(handle, CURLOPT_PREREQDATA, &transfer);

  if (options.connect_timeout_seconds > 0) {
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, options.connect_timeout_seconds);
  }
  if (options.idle_timeout_seconds > 0) {
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, options.idle_timeout_seconds);
  }
  // Large reads: a page of megabytes takes a few dozen calls, not hundreds.
  curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, 512L * 1024);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);

  // curl's own cookie engine decides which cookies go to which host and
  // takes in what every response sets, redirect hops included.
  curl_easy_setopt(handle, CURLOPT_COOKIEFILE, "");
  std::vector<Cookie> before;
  if (options.cookies != nullptr) {
    for (const Cookie& cookie : options.cookies->Snapshot()) {
      curl_easy_setopt(handle, CURLOPT_COOKIELIST, FormatNetscapeLine(cookie).c_str());
    }
    before = CurlCookies(handle);
  }

  transfer.result.curl_code = curl_easy_perform(handle);

  if (options.cookies != nullptr) {
    std::vector<CookieChange> changes =
        CookieChanges(before, CurlCookies(handle), transfer.set_cookies);
    if (!changes.empty()) options.cookies->Apply(CookieSource::kHttp, changes);
  }
  return std::move(transfer.result);
}

}  // namespace morvellin
