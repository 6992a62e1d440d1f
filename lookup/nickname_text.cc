// From the bytes of a nickname file to the GBK text whose lines are listed.
#include "lookup/nickname_text.h"

#include "lookup/charset.h"

namespace morvellin {

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

inline bool EndsText(unsigned char byte) { return byte == 0x00 || byte == 0x1A; }

// The GBK bytes before the first 0x00 or 0x1A at a character start; a lead
// byte followed directly by 0x00 ends the text before itself.
std::string_view CutGbk(std::string_view bytes) {
  size_t pos = 0;
  while (pos < bytes.size()) {
    unsigned char byte = static_cast<unsigned char>(bytes[pos]);
    if (EndsText(byte)) break;
    if (IsLeadByte(byte)) {
      if (pos + 1 < bytes.size() && bytes[pos + 1] == '\0') break;
      pos += 2;
    } else {
      pos += 1;
    }
  }
  return bytes.substr(0, pos < bytes.size() ? pos : bytes.size());
}

// Puts a CR before every LF that starts a character and does not follow a CR.
Text WithCrLf(std::string_view text) {
  Text out;
  out.reserve(text.size() + text.size() / 16);
  bool after_cr = false;
  size_t pos = 0;
  while (pos < text.size()) {
    unsigned char byte = static_cast<unsigned char>(text[pos]);
    size_t length = IsLeadByte(byte) && pos + 1 < text.size() ? 2 : 1;
    if (byte == '\n' && !after_cr) out += '\r';
    out.append(text.substr(pos, length));
    after_cr = byte == '\r';
    pos += length;
  }
  return out;
}

}  // namespace

Text NicknameTextFromFile(std::string_view file_bytes) {
  // In UTF-8, 0x00 and 0x1A are always characters of their own, so the text
  // of a UTF-8 file ends at the first of these bytes wherever it stands.
  std::string_view utf8 = file_bytes.substr(0, file_bytes.find_first_of(std::string_view("\0\x1A", 2)));
  if (utf8.starts_with(kUtf8ByteOrderMark)) utf8.remove_prefix(kUtf8ByteOrderMark.size());
  if (IsValidUtf8(utf8)) return WithCrLf(Utf8ToGbk(utf8));
  return WithCrLf(CutGbk(file_bytes));
}

}  // namespace morvellin
