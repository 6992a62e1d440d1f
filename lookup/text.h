// GBK text, the form every text takes inside the engine.
//
// A Text is a byte string in code page 936: a byte of 0x80 or above and the
// byte after it form one double-byte character. Lengths and positions count
// bytes; positions are 1-based and a search that finds nothing yields -1.
// Searches step character by character, so a match never begins at the second
// byte of a double-byte character. Case folding touches only ASCII A to Z.
#ifndef MORVELLIN_LOOKUP_TEXT_H_
#define MORVELLIN_LOOKUP_TEXT_H_

#include <string>
#include <string_view>

namespace morvellin {

// GBK text. Built through TextFromBytes it holds no zero byte.
using Text = std::string;
// A counted run of bytes that may hold zero bytes.
using Bytes = std::string;

inline bool IsLeadByte(unsigned char byte) { return byte >= 0x80; }

// The bytes before the first zero byte, or all of them when there is none.
Text TextFromBytes(std::string_view bytes);

// 1-based position of the first occurrence of `needle` at or after `start`
// (below 1 counts as 1), stepping by characters; -1 when there is none.
int FindText(std::string_view text, std::string_view needle, int start = 1);
// The same, comparing ASCII letters without regard to case.
int FindTextIgnoreCase(std::string_view text, std::string_view needle, int start = 1);

// `text` with ASCII A to Z lowered; double-byte characters stay as they are.
Text LowerAscii(std::string_view text);

// The bytes between the first `start_marker` and the first `end_marker` that
// begins after it, both found ignoring ASCII case; empty when either is missing.
Text TextBetween(std::string_view text, std::string_view start_marker,
                 std::string_view end_marker);

}  // namespace morvellin

#endif  // MORVELLIN_LOOKUP_TEXT_H_
