// Cookies for tests, made from the fields that the tests vary.
#ifndef MORVELLIN_TESTS_SUPPORT_COOKIES_H_
#define MORVELLIN_TESTS_SUPPORT_COOKIES_H_

#include <string>
#include <utility>

#include "lookup/cookie_store.h"

namespace morvellin::testing {

inline Cookie MakeCookie(std::string name, std::string value, std::string domain,
                         bool host_only) {
  Cookie cookie;
  cookie.name = std::move(name);
  cookie.value = std::move(value);
  cookie.domain = std::move(domain);
  cookie.host_only = host_only;
  return cookie;
}

}  // namespace morvellin::testing

#endif  // MORVELLIN_TESTS_SUPPORT_COOKIES_H_
