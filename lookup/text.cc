// GBK text: searches that step by characters and ASCII-only case folding.
#include "lookup/text.h"

#include <climits>
#include <cstring>

namespace morvellin {

namespace {

inline unsigned char FoldAscii(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

// The start of the character after the one at `pos` (a lead byte takes the
// byte after it along), or the end of `text`.
inline size_t NextCharStart(std::string_view text, size_t pos) {
  size_t next = pos + (IsLeadByte(static_cast<unsigned char>(text[pos])) ? 2 : 1);
  return next < text.size() ? next : text.size();
}

// Compares `needle` with `text` at `pos`, which is a character start. With
// `ignore_case` only single-byte characters are folded, never the second
// byte of a double-byte character.
bool MatchesAt(std::string_view text, size_t pos, std::string_view needle, bool ignore_case) {
  if (needle.empty()) return true;  // its data() may be null, which memcmp must not see
  if (!ignore_case) return std::memcmp(text.data() + pos, needle.data(), needle.size()) == 0;
  bool second_byte = false;
  for (size_t i = 0; i < needle.size(); ++i) {
    unsigned char t = static_cast<unsigned char>(text[pos + i]);
    unsigned char n = static_cast<unsigned char>(needle[i]);
    if (second_byte) {
      if (t != n) return false;
      second_byte = false;
    } else {
      if (FoldAscii(t) != FoldAscii(n)) return false;
      second_byte = IsLeadByte(t);
    }
  }
  return true;
}

int Find(std::string_view text, std::string_view needle, int start, bool ignore_case) {
  size_t first = start < 1 ? 0 : static_cast<size_t>(start) - 1;
  if (first > text.size() || text.size() - needle.size() > text.size()) {
    // Starts past the end, or the needle is longer than the text.
    return -1;
  }
  size_t last = text.size() - needle.size();  // last position a match can take
  size_t pos = 0;
  while (pos < first) pos = NextCharStart(text, pos);
  for (; pos <= last; pos = NextCharStart(text, pos)) {
    if (MatchesAt(text, pos, needle, ignore_case)) {
      return pos < static_cast<size_t>(INT_MAX) ? static_cast<int>(pos) + 1 : -1;
    }
  }
  return -1;
}

}  // namespace

Text TextFromBytes(std::string_view bytes) {
  size_t end = bytes.find('\0');
  return Text(bytes.substr(0, end));
}

int FindText(std::string_view text, std::string_view needle, int start) {
  return Find(text, needle, start, false);
}

int FindTextIgnoreCase(std::string_view text, std::string_view needle, int start) {
  return Find(text, needle, start, true);
}

Text LowerAscii(std::string_view text) {
  Text lowered(text);
  for (size_t pos = 0; pos < lowered.size(); ++pos) {
    unsigned char byte = static_cast<unsigned char>(lowered[pos]);
    if (IsLeadByte(byte)) {
      ++pos;  // the second byte stays as it is
    } else {
      lowered[pos] = static_cast<char>(FoldAscii(byte));
    }
  }
  return lowered;
}

Text TextBetween(std::string_view text, std::string_view start_marker,
                 std::string_view end_marker) {
  int start = FindTextIgnoreCase(text, start_marker);
  if (start < 0) return Text();
  size_t inner = static_cast<size_t>(start) - 1 + start_marker.size();
  if (inner > static_cast<size_t>(INT_MAX) - 1) return Text();
  int end = FindTextIgnoreCase(text, end_marker, static_cast<int>(inner) + 1);
  if (end < 0) return Text();
  return Text(text.substr(inner, static_cast<size_t>(end) - 1 - inner));
}

}  // namespace morvellin
