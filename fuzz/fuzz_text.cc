// Fuzz target for the GBK text searches and the address parser.
//
// Input: one byte for the start position (signed), then the text, the needle
// and the end marker, separated by zero bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "lookup/text.h"
#include "lookup/url.h"

namespace {

using namespace morvellin;

// 0-based character starts of `text`, and its size.
std::vector<size_t> CharacterStarts(std::string_view text) {
  std::vector<size_t> starts;
  for (size_t pos = 0; pos < text.size(); pos += IsLeadByte(text[pos]) ? 2 : 1) {
    starts.push_back(pos);
  }
  starts.push_back(text.size());
  return starts;
}

// FindText done the slow way.
int FindByHand(std::string_view text, std::string_view needle, int start) {
  for (size_t pos : CharacterStarts(text)) {
    if (static_cast<int>(pos) + 1 < start) continue;
    if (text.size() - pos >= needle.size() && text.substr(pos, needle.size()) == needle) {
      return static_cast<int>(pos) + 1;
    }
  }
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  int start = static_cast<int8_t>(data[0]);
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string_view parts[3];
  for (std::string_view& part : parts) {
    size_t zero = rest.find('\0');
    part = rest.substr(0, zero);
    rest = zero == std::string_view::npos ? std::string_view() : rest.substr(zero + 1);
  }
  std::string_view text = parts[0];
  std::string_view needle = parts[1];
  std::string_view end_marker = parts[2];

  FUZZ_CHECK(FindText(text, needle, start) == FindByHand(text, needle, start));
  FUZZ_CHECK(FindTextIgnoreCase(text, needle, start) ==
             FindText(LowerAscii(text), LowerAscii(needle), start));

  Text lowered = LowerAscii(text);
  FUZZ_CHECK(lowered.size() == text.size());
  FUZZ_CHECK(LowerAscii(lowered) == lowered);

  Text between = TextBetween(text, needle, end_marker);
  FUZZ_CHECK(between.empty() || text.find(between) != std::string_view::npos);

  UrlParts parts_of_text = SplitUrl(text);
  FUZZ_CHECK(!parts_of_text.path.empty() && parts_of_text.path[0] == '/');
  // No "/" starts a character of the host (a "/" after a lead byte is that
  // character's second byte).
  for (size_t pos : CharacterStarts(parts_of_text.host)) {
    FUZZ_CHECK(pos == parts_of_text.host.size() || parts_of_text.host[pos] != '/');
  }
  if (parts_of_text.path.size() > 1) {
    FUZZ_CHECK(text.find(parts_of_text.path) != std::string_view::npos);
  }
  IsHttpsAddress(text);
  return 0;
}
