// Splitting GBK text at a delimiter that is only recognised at character starts.
#include "lookup/split.h"

namespace morvellin {

std::vector<Text> SplitText(std::string_view text, std::string_view delimiter) {
  std::vector<Text> entries;
  if (text.empty()) return entries;
  if (delimiter.empty()) {
    entries.emplace_back(text);
    return entries;
  }
  size_t piece_start = 0;
  size_t pos = 0;
  while (pos < text.size() && text.size() - pos >= delimiter.size()) {
    if (text.compare(pos, delimiter.size(), delimiter) == 0) {
      entries.emplace_back(text.substr(piece_start, pos - piece_start));
      pos += delimiter.size();
      piece_start = pos;
    } else {
      pos += IsLeadByte(static_cast<unsigned char>(text[pos])) ? 2 : 1;
    }
  }
  if (piece_start < text.size()) entries.emplace_back(text.substr(piece_start));
  return entries;
}

std::vector<Text> SplitAtCrLf(std::string_view text) { return SplitText(text, "\r\n"); }

}  // namespace morvellin
