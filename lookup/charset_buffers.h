// The UTF-8 and GBK conversions of charset.h for whole pages, in buffers that
// their callers own: the fetch re-encodes a page where it arrived and the
// pattern matcher widens it into a buffer of its own, with no copy between.
// Defined in charset.cc beside the conversions they share.
#ifndef MORVELLIN_LOOKUP_CHARSET_BUFFERS_H_
#define MORVELLIN_LOOKUP_CHARSET_BUFFERS_H_

#include <cstddef>
#include <string_view>

#include "lookup/text.h"

namespace morvellin {

// Re-encodes the UTF-8 in `*text` as GBK within its own buffer; afterwards
// `*text` holds what ConvertCharset(*text) would have returned.
void Utf8ToGbkInPlace(Bytes* text);

// The room that GbkToUtf8At needs for `gbk`: at least the most bytes that
// GbkToUtf8(gbk) can give, worked out from its size alone.
size_t GbkToUtf8Bound(std::string_view gbk);

// Writes GbkToUtf8(gbk) at `out`, which has room for GbkToUtf8Bound(gbk)
// bytes, and returns the end of what it wrote. The bytes after that end up
// to the bound are left undefined.
char* GbkToUtf8At(std::string_view gbk, char* out);

}  // namespace morvellin

#endif  // MORVELLIN_LOOKUP_CHARSET_BUFFERS_H_
