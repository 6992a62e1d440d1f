// Fuzz target for the split and the nickname file text.
//
// Input: one byte whose low two bits give the delimiter length, the delimiter,
// then the text. The whole input is also read as a nickname file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "lookup/nickname_text.h"
#include "lookup/split.h"

namespace {

using namespace morvellin;

// The entries joined again give the text, less a delimiter at its end.
void CheckSplit(std::string_view text, std::string_view delimiter) {
  std::vector<Text> entries = SplitText(text, delimiter);
  if (text.empty()) {
    FUZZ_CHECK(entries.empty());
    return;
  }
  Text joined;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) joined += delimiter;
    joined += entries[i];
  }
  FUZZ_CHECK(joined == text || joined + Text(delimiter) == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  if (!input.empty()) {
    size_t delimiter_size = std::min<size_t>(input[0] & 3, input.size() - 1);
    CheckSplit(input.substr(1 + delimiter_size), input.substr(1, delimiter_size));
  }
  CheckSplit(input, "\r\n");

  Text text = NicknameTextFromFile(input);
  FUZZ_CHECK(text.find('\0') == Text::npos);
  // Every LF that starts a character follows a CR.
  bool after_cr = false;
  for (size_t pos = 0; pos < text.size(); pos += IsLeadByte(text[pos]) ? 2 : 1) {
    if (text[pos] == '\n') FUZZ_CHECK(after_cr);
    after_cr = text[pos] == '\r';
  }
  CheckSplit(text, "\r\n");
  return 0;
}
