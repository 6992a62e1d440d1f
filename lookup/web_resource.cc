// ReadWebResource: the whole body at an address, over HTTP/1.0, never from a
// cache, for the published version text.
#include "lookup/web_resource.h"

#include "lookup/http_get.h"
#include "lookup/url.h"

namespace morvellin {

Bytes ReadWebResource(std::string_view address, const FetchOptions& options) {
  const UrlParts parts = SplitUrl(address);
  HttpGetRequest request;
  request.secure = IsHttpsAddress(address);
  request.host = parts.host;
  request.port = parts.port;
  request.path = parts.path;
  request.http_1_0 = true;
  request.user_agent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
  // The no-cache lines keep any cache on the way from answering instead of
  // the server.
  request.header_lines = {"Accept: */*", "Cache-Control: no-cache", "Pragma: no-cache"};
  return HttpGet(request, options).body;
}

}  // namespace morvellin
