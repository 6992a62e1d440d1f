// Splitting a GBK text into entries at a delimiter.
#ifndef MORVELLIN_LOOKUP_SPLIT_H_
#define MORVELLIN_LOOKUP_SPLIT_H_

#include <string_view>
#include <vector>

#include "lookup/text.h"

namespace morvellin {

// Splits `text` at every `delimiter` found at a character start. An empty text
// gives no entries; empty pieces in the middle are entries; the piece after the
// last delimiter is an entry only when it is not empty. "a\r\nb\r\n" gives
// {"a", "b"}; "\r\n" gives {""}.
std::vector<Text> SplitText(std::string_view text, std::string_view delimiter);

// SplitText with the delimiter CR LF.
std::vector<Text> SplitAtCrLf(std::string_view text);

}  // namespace morvellin

#endif  // MORVELLIN_LOOKUP_SPLIT_H_
