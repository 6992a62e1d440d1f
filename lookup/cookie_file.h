// The Netscape cookie-file format that curl and browser cookie exporters use:
// one cookie a line, seven fields separated by tabs (domain, include
// subdomains, path, secure, expires, name, value); "#HttpOnly_" before the
// domain marks an HttpOnly cookie; other lines starting with "#" and empty
// lines are comments.
#ifndef MORVELLIN_LOOKUP_COOKIE_FILE_H_
#define MORVELLIN_LOOKUP_COOKIE_FILE_H_

#include <string>
#include <string_view>
#include <vector>

#include "lookup/cookie_store.h"

namespace morvellin {

// One cookie as a line of the format, without a line end.
std::string FormatNetscapeLine(const Cookie& cookie);
// Parses one line; false for a line that is not a cookie (a comment included).
bool ParseNetscapeLine(std::string_view line, Cookie* cookie);

// Reads a whole file's text; false with `error` set ("line N: ...") when a
// non-comment line is malformed.
bool ParseCookieFileText(std::string_view text, std::vector<Cookie>* cookies,
                         std::string* error);
std::string FormatCookieFileText(const std::vector<Cookie>& cookies);

// Loads `path` into `store` (replacing its content) or saves the store's
// unexpired cookies to `path`, session cookies included. False with `error`
// set when the file cannot be read, parsed or written; a failed load leaves
// the store as it was, a failed save leaves the file as it was.
bool LoadCookieFile(const std::string& path, CookieStore* store, std::string* error);
bool SaveCookieFile(const std::string& path, const CookieStore& store,
                    std::string* error);

}  // namespace morvellin

#endif  // MORVELLIN_LOOKUP_COOKIE_FILE_H_
