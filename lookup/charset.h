// Character-set conversion between GBK (code page 936) and UTF-8, over iconv.
#ifndef MORVELLIN_LOOKUP_CHARSET_H_
#define MORVELLIN_LOOKUP_CHARSET_H_

#include <string_view>

#include "lookup/text.h"

namespace morvellin {

// Re-encodes `data` from charset `source` to charset `target` (iconv names;
// empty means "UTF-8" and "GBK"). The data is decoded into characters, every
// character that GBK cannot represent becomes "?", the text ends before its
// first U+0000, and what remains is encoded in `target`. Undecodable input
// bytes become "?" as well; a byte-order mark opening UTF-8 is dropped. An
// unknown charset gives empty bytes.
Bytes ConvertCharset(std::string_view data, std::string_view source = {},
                     std::string_view target = {});

// True when `bytes` is well-formed UTF-8 (the empty string is).
bool IsValidUtf8(std::string_view bytes);

// UTF-8 to GBK with "?" for what GBK lacks; stops before a U+0000.
Text Utf8ToGbk(std::string_view utf8);
// GBK to UTF-8; a byte sequence that is not GBK becomes "?".
std::string GbkToUtf8(std::string_view gbk);

}  // namespace morvellin

#endif  // MORVELLIN_LOOKUP_CHARSET_H_
