// Taking an address apart into the host, port and path that the fetch uses.
#ifndef MORVELLIN_LOOKUP_URL_H_
#define MORVELLIN_LOOKUP_URL_H_

#include <string_view>

#include "lookup/text.h"

namespace morvellin {

struct UrlParts {
  Text host;  // ASCII letters lowered
  int port = 0;
  Text path;  // letter case of the address, query included; starts with "/"
};

// "HTTP://Srv:8080/A/b?X=1" gives {"srv", 8080, "/A/b?X=1"}; "srv/x" gives
// {"srv", 80, "/x"}; an https address without a port gives port 443; an
// empty port ("http://srv:/x") gives 0.
UrlParts SplitUrl(std::string_view address);

// True when the first five bytes of `address`, lowered, are "https".
bool IsHttpsAddress(std::string_view address);

}  // namespace morvellin

#endif  // MORVELLIN_LOOKUP_URL_H_
