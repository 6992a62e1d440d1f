// Taking an address apart into host, port and path.
#include "lookup/url.h"

#include <climits>
#include <cstdint>

namespace morvellin {

namespace {

constexpr std::string_view kHttpScheme = "http://";
constexpr std::string_view kHttpsScheme = "https://";

inline unsigned char ByteAt(std::string_view text, size_t pos) {
  return static_cast<unsigned char>(text[pos]);
}

// Reads a decimal integer the way atoi does: leading white space, an optional
// sign, then digits up to the first non-digit; no digits give 0. The GBK
// full-width space (A1 A1) and digits (A3 B0 to A3 B9) count as their ASCII
// forms. A value beyond the int range stops at its nearest end.
int ParsePort(std::string_view text) {
  size_t pos = 0;
  auto full_width = [&](unsigned char second_lo, unsigned char second_hi, unsigned char first) {
    return pos + 1 < text.size() && ByteAt(text, pos) == first &&
           ByteAt(text, pos + 1) >= second_lo && ByteAt(text, pos + 1) <= second_hi;
  };
  while (pos < text.size()) {
    unsigned char byte = ByteAt(text, pos);
    if (byte == ' ' || (byte >= '\t' && byte <= '\r')) {
      pos += 1;
    } else if (full_width(0xA1, 0xA1, 0xA1)) {
      pos += 2;
    } else {
      break;
    }
  }
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  const int64_t limit = negative ? -int64_t{INT_MIN} : int64_t{INT_MAX};
  int64_t value = 0;
  while (pos < text.size()) {
    int digit;
    if (ByteAt(text, pos) >= '0' && ByteAt(text, pos) <= '9') {
      digit = ByteAt(text, pos) - '0';
      pos += 1;
    } else if (full_width(0xB0, 0xB9, 0xA3)) {
      digit = ByteAt(text, pos + 1) - 0xB0;
      pos += 2;
    } else {
      break;
    }
    value = value * 10 + digit;
    if (value > limit) value = limit;
  }
  return static_cast<int>(negative ? -value : value);
}

}  // namespace

UrlParts SplitUrl(std::string_view address) {
  Text copy = LowerAscii(address);
  if (copy.empty() || copy.back() != '/') copy += '/';

  // Where the scheme marker ends, the host part begins.
  std::string_view marker = kHttpScheme;
  size_t added = 0;  // bytes put in front of the copy
  if (copy.starts_with(kHttpsScheme)) {
    marker = kHttpsScheme;
  } else if (FindText(copy, kHttpScheme) < 0) {
    copy.insert(0, kHttpScheme);
    added = kHttpScheme.size();
  }
  size_t host_start = static_cast<size_t>(FindText(copy, marker)) - 1 + marker.size();
  Text host_part = TextBetween(copy, marker, "/");

  UrlParts parts;
  size_t colon = host_part.find(':');
  parts.host = host_part.substr(0, colon);
  if (colon != Text::npos) {
    parts.port = ParsePort(std::string_view(host_part).substr(host_part.rfind(':') + 1));
  } else {
    parts.port = IsHttpsAddress(address) ? 443 : 80;
  }

  // The path starts at the first "/" after the place where the host was found,
  // in the address itself so that it keeps its letter case. Searching from the
  // host's own position (not for the host's text from the first byte) keeps a
  // host such as "h" or "tp" from being found inside the scheme.
  size_t host_in_address = host_start - added;
  int slash = host_in_address < address.size()
                  ? FindText(address, "/", static_cast<int>(host_in_address) + 1)
                  : -1;
  parts.path = slash < 0 ? Text("/") : Text(address.substr(static_cast<size_t>(slash) - 1));
  return parts;
}

bool IsHttpsAddress(std::string_view address) {
  return address.size() >= 5 && LowerAscii(address.substr(0, 5)) == "https";
}

}  // namespace morvellin
