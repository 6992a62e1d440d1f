// Fuzz target for page decoding: the charset conversion and the buyer-ID
// pattern run over arbitrary bytes, as a fetched page would give them.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "lookup/charset.h"
#include "lookup/pattern_matcher.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace morvellin;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // A UTF-8 page becomes GBK; the result never holds a zero byte.
  Bytes gbk = ConvertCharset(bytes);
  FUZZ_CHECK(gbk.find('\0') == Bytes::npos);
  FUZZ_CHECK(gbk.size() <= bytes.size());
  FUZZ_CHECK(IsValidUtf8(bytes) ? gbk == Utf8ToGbk(bytes) : true);

  // What the matcher hands to PCRE2 without checking it must be valid UTF-8.
  std::string utf8 = GbkToUtf8(bytes);
  FUZZ_CHECK(IsValidUtf8(utf8));
  FUZZ_CHECK(utf8.find('\0') == std::string::npos);

  Text unconverted = TextFromBytes(bytes);
  for (std::string_view page : {std::string_view(gbk), std::string_view(unconverted)}) {
    PatternMatcher matcher;
    matcher.Create("data-buyerId=\"(.*)\"", page);
    Text first = matcher.SubmatchText(1, 1);
    FUZZ_CHECK(first.find('\n') == Text::npos);
    Text second = matcher.SubmatchText(2, 1);
    FUZZ_CHECK(second.find('\n') == Text::npos);
    FUZZ_CHECK(matcher.SubmatchText(1, 2).empty());
  }
  return 0;
}
