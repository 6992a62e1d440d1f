// ReadWebResource: every byte of the resource at an address, for the
// published version text.
#ifndef MORVELLIN_LOOKUP_WEB_RESOURCE_H_
#define MORVELLIN_LOOKUP_WEB_RESOURCE_H_

#include <string_view>

#include "lookup/page_fetch.h"
#include "lookup/text.h"

namespace morvellin {

// An HTTP/1.0 GET with its own User-Agent and "Accept: */*", never answered
// from a cache. Returns the body whatever the status: empty when nothing
// arrived, the bytes read so far when the transfer broke off.
Bytes ReadWebResource(std::string_view address, const FetchOptions& options);

}  // namespace morvellin

#endif  // MORVELLIN_LOOKUP_WEB_RESOURCE_H_
