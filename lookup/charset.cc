// Charset conversion over glibc iconv.
//
// Every conversion decodes the source into code points, narrows them to what
// GBK can hold ("?" for the rest), ends before U+0000 and encodes the result
// in the target. For charsets that keep ASCII as ASCII (UTF-8 and the GBK
// family) the ASCII runs are copied as they are and only the runs between them
// are converted. Between UTF-8 and GBK, the conversions every page and every
// search go through, those runs are converted with two tables that are read
// out of iconv once; other charsets go through iconv itself. The conversions
// of whole pages (charset_buffers.h) write into their callers' buffers, UTF-8
// to GBK within the page's own.
#include "lookup/charset.h"
#include "lookup/charset_buffers.h"

#include <errno.h>
#include <iconv.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace morvellin {

namespace {

// glibc's "CP936" is an alias of its "GBK" converter, which maps like code
// page 936 (0x80 is the euro sign, A1A4 is U+00B7, A1AA is U+2014).
constexpr char kGbk[] = "CP936";
constexpr char kUtf8[] = "UTF-8";
// Code points as iconv reads and writes them: char32_t in the byte order of
// this machine.
constexpr const char* kCodePoints =
    std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE";

// Upper-case letters and digits of a charset name: "utf-8" and "UTF8" compare
// equal.
std::string NormalizedName(std::string_view name) {
  std::string normalized;
  for (char c : name) {
    if (c >= 'a' && c <= 'z') normalized += static_cast<char>(c - 'a' + 'A');
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) normalized += c;
  }
  return normalized;
}

bool IsGbkName(std::string_view name) {
  std::string n = NormalizedName(name);
  return n == "GBK" || n == "CP936" || n == "MS936" || n == "WINDOWS936";
}

// Charsets without shift states in which a byte below 0x80 at a character
// start is always that ASCII character. Their text can be cut into ASCII runs
// and the runs between them, stepping over a byte of 0x80 or above together
// with the byte after it.
bool KeepsAscii(std::string_view name) {
  static const char* const kNames[] = {"UTF8", "GBK", "CP936", "MS936", "WINDOWS936",
                                       "GB2312", "EUCCN", "GB18030", "ASCII", "USASCII"};
  std::string n = NormalizedName(name);
  for (const char* known : kNames) {
    if (n == known) return true;
  }
  return false;
}

// iconv descriptors of the calling thread, opened once and reused (an iconv_t
// must not be used by two threads at a time).
class ConverterCache {
 public:
  ~ConverterCache() { Clear(); }

  // Closes everything when fewer than `count` more descriptors would fit, so
  // that the next `count` calls of Get invalidate none of their results.
  void MakeRoom(size_t count) {
    if (entries_.size() + count > kMaxEntries) Clear();
  }

  // The descriptor from `from` to `to` in its initial state, or null when
  // iconv knows no such conversion.
  iconv_t Get(const std::string& from, const std::string& to) {
    for (Entry& entry : entries_) {
      if (entry.from == from && entry.to == to) {
        if (entry.cd != nullptr) iconv(entry.cd, nullptr, nullptr, nullptr, nullptr);
        return entry.cd;
      }
    }
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) cd = nullptr;
    entries_.push_back({from, to, cd});
    return cd;
  }

 private:
  static constexpr size_t kMaxEntries = 16;
  struct Entry {
    std::string from;
    std::string to;
    iconv_t cd;
  };

  void Clear() {
    for (Entry& entry : entries_) {
      if (entry.cd != nullptr) iconv_close(entry.cd);
    }
    entries_.clear();
  }

  std::vector<Entry> entries_;
};

ConverterCache& ThreadConverters() {
  thread_local ConverterCache cache;
  return cache;
}

// Appends the code points of `bytes` to `out`. A byte that does not start a
// valid sequence becomes "?", and so does each byte of a sequence cut short
// at the end.
void Decode(iconv_t decoder, std::string_view bytes, std::u32string* out) {
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  size_t used = out->size();
  out->resize(used + in_left + 4);
  while (in_left > 0) {
    char* out_ptr = reinterpret_cast<char*>(out->data() + used);
    size_t out_left = (out->size() - used) * sizeof(char32_t);
    size_t rc = iconv(decoder, &in, &in_left, &out_ptr, &out_left);
    used = out->size() - out_left / sizeof(char32_t);
    if (rc != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) {
      out->resize(out->size() * 2);
    } else if (errno == EILSEQ) {
      if (used == out->size()) out->resize(out->size() * 2);
      (*out)[used++] = U'?';
      ++in;
      --in_left;
    } else {  // EINVAL: a sequence cut short by the end of the input
      out->resize(used + in_left);
      std::fill(out->begin() + static_cast<ptrdiff_t>(used), out->end(), U'?');
      used += in_left;
      in_left = 0;
    }
  }
  out->resize(used);
}

// Runs `encoder` over `*in` into `out` from `*used` on, growing `out` when it
// is full. Returns false at a code point that the target cannot hold, which
// `*in` then points at. A null `in` writes what a stateful target needs to
// return to its initial state.
bool EncodeSome(iconv_t encoder, char** in, size_t* in_left, std::string* out, size_t* used) {
  while (true) {
    char* out_ptr = out->data() + *used;
    size_t out_left = out->size() - *used;
    size_t rc = iconv(encoder, in, in_left, &out_ptr, &out_left);
    *used = out->size() - out_left;
    if (rc != static_cast<size_t>(-1)) return true;
    if (errno != E2BIG) return false;
    out->resize(out->size() * 2 + 16);
  }
}

// Appends `code_points` encoded by `encoder` to `out`; a code point that the
// target cannot hold becomes "?".
void Encode(iconv_t encoder, std::u32string_view code_points, std::string* out) {
  char* in = reinterpret_cast<char*>(const_cast<char32_t*>(code_points.data()));
  size_t in_left = code_points.size() * sizeof(char32_t);
  size_t used = out->size();
  out->resize(used + code_points.size() * 3 + 16);
  while (in_left > 0) {
    if (EncodeSome(encoder, &in, &in_left, out, &used)) break;
    char32_t question_mark = U'?';
    char* mark = reinterpret_cast<char*>(&question_mark);
    size_t mark_left = sizeof(question_mark);
    EncodeSome(encoder, &mark, &mark_left, out, &used);
    in += sizeof(char32_t);
    in_left -= sizeof(char32_t);
  }
  EncodeSome(encoder, nullptr, nullptr, out, &used);
  out->resize(used);
}

// The end of the run of ASCII bytes other than zero that starts at `pos`.
size_t AsciiRunEnd(std::string_view data, size_t pos) {
  constexpr uint64_t kOnes = 0x0101010101010101;
  constexpr uint64_t kHighBits = 0x8080808080808080;
  while (data.size() - pos >= sizeof(uint64_t)) {
    uint64_t word;
    std::memcpy(&word, data.data() + pos, sizeof(word));
    // Flags every byte of 0x80 or above, and at least one zero byte if any.
    if (((word - kOnes) | word) & kHighBits) break;
    pos += sizeof(word);
  }
  while (pos < data.size()) {
    unsigned char byte = static_cast<unsigned char>(data[pos]);
    if (byte == 0 || byte >= 0x80) break;
    ++pos;
  }
  return pos;
}

// Decodes the UTF-8 sequence at `pos` into `*code_point` and returns its
// length, or 0 when no well-formed sequence starts there (overlong forms,
// surrogates and values above U+10FFFF are not well-formed).
inline size_t DecodeUtf8At(std::string_view bytes, size_t pos, char32_t* code_point) {
  auto byte_at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  unsigned char lead = byte_at(pos);
  if (lead < 0x80) {
    *code_point = lead;
    return 1;
  }
  size_t length;
  unsigned char second_lo = 0x80;
  unsigned char second_hi = 0xBF;
  char32_t value;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    if (lead == 0xE0) second_lo = 0xA0;  // no overlong forms
    if (lead == 0xED) second_hi = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    if (lead == 0xF0) second_lo = 0x90;  // no overlong forms
    if (lead == 0xF4) second_hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (bytes.size() - pos < length) return 0;
  if (byte_at(pos + 1) < second_lo || byte_at(pos + 1) > second_hi) return 0;
  for (size_t i = 1; i < length; ++i) {
    unsigned char next = byte_at(pos + i);
    if (next < 0x80 || next > 0xBF) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  *code_point = value;
  return length;
}

// Writes `code_point` as UTF-8 at `out` and returns the end of what it wrote.
inline char* WriteUtf8(char32_t code_point, char* out) {
  if (code_point < 0x80) {
    *out++ = static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    *out++ = static_cast<char>(0xC0 | (code_point >> 6));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  } else {  // GBK lies in the Basic Multilingual Plane
    *out++ = static_cast<char>(0xE0 | (code_point >> 12));
    *out++ = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  }
  return out;
}

// Code page 936 as glibc's converter maps it, read out of iconv once. All of
// GBK lies in the Basic Multilingual Plane, and glibc encodes each character
// to the one code that decodes to it, so one table per direction suffices.
class GbkTables {
 public:
  // Null when iconv has no converter for GBK.
  static const GbkTables* Get() {
    static const GbkTables* const tables = Build();
    return tables;
  }

  // The character of the single byte `lead` (0x80 and above) or of the pair
  // `lead`, `trail`; 0 when iconv decodes no character there.
  char32_t Single(unsigned char lead) const { return single_[lead - 0x80]; }
  char32_t Pair(unsigned char lead, unsigned char trail) const {
    return pairs_[lead - 0x80][trail];
  }
  // The three bytes of UTF-8 for the pair `lead`, `trail` in the low bytes
  // of the result, first byte lowest; 0 when the pair is no character that
  // takes three bytes or `lead` is a character on its own.
  uint32_t PairUtf8(unsigned char lead, unsigned char trail) const {
    return pair_utf8_[lead - 0x80][trail];
  }
  // The GBK code of `code_point` (one byte when below 0x100), or 0 when GBK
  // lacks it.
  uint16_t Encode(char32_t code_point) const {
    return code_point < kPlaneSize ? encode_[code_point] : 0;
  }

 private:
  static constexpr size_t kPlaneSize = 0x10000;

  static const GbkTables* Build() {
    iconv_t decoder = iconv_open(kCodePoints, kGbk);
    if (decoder == reinterpret_cast<iconv_t>(-1)) return nullptr;
    auto tables = std::make_unique<GbkTables>();
    for (unsigned lead = 0x80; lead <= 0xFF; ++lead) {
      tables->single_[lead - 0x80] = DecodeWhole(decoder, {static_cast<char>(lead)});
      for (unsigned trail = 0; trail <= 0xFF; ++trail) {
        tables->pairs_[lead - 0x80][trail] =
            DecodeWhole(decoder, {static_cast<char>(lead), static_cast<char>(trail)});
      }
    }
    iconv_close(decoder);
    for (unsigned lead = 0x80; lead <= 0xFF; ++lead) {
      char32_t single = tables->single_[lead - 0x80];
      if (single != 0 && single < kPlaneSize) tables->encode_[single] = static_cast<uint16_t>(lead);
      for (unsigned trail = 0; trail <= 0xFF; ++trail) {
        char32_t pair = tables->pairs_[lead - 0x80][trail];
        if (pair != 0 && pair < kPlaneSize) {
          tables->encode_[pair] = static_cast<uint16_t>(lead << 8 | trail);
        }
        if (single == 0 && pair >= 0x800 && pair < kPlaneSize) {
          char utf8[3];
          WriteUtf8(pair, utf8);
          tables->pair_utf8_[lead - 0x80][trail] =
              static_cast<uint32_t>(static_cast<unsigned char>(utf8[0])) |
              static_cast<uint32_t>(static_cast<unsigned char>(utf8[1])) << 8 |
              static_cast<uint32_t>(static_cast<unsigned char>(utf8[2])) << 16;
        }
      }
    }
    return tables.release();
  }

  // The one code point that all of `bytes` decode to, or 0.
  static char32_t DecodeWhole(iconv_t decoder, std::string bytes) {
    iconv(decoder, nullptr, nullptr, nullptr, nullptr);
    char32_t code_points[2] = {0, 0};
    char* in = bytes.data();
    size_t in_left = bytes.size();
    char* out = reinterpret_cast<char*>(code_points);
    size_t out_left = sizeof(code_points);
    size_t rc = iconv(decoder, &in, &in_left, &out, &out_left);
    if (rc == static_cast<size_t>(-1) || in_left != 0 || out_left != sizeof(char32_t)) return 0;
    return code_points[0];
  }

  char32_t single_[0x80] = {};
  char32_t pairs_[0x80][0x100] = {};
  uint32_t pair_utf8_[0x80][0x100] = {};
  uint16_t encode_[kPlaneSize] = {};
};

// Decodes the GBK character at `pos` of `run` as iconv would: a byte that
// starts no character there, or a lead byte at the end of the run, is "?".
inline size_t DecodeGbkAt(const GbkTables& tables, std::string_view run, size_t pos,
                          char32_t* code_point) {
  unsigned char lead = static_cast<unsigned char>(run[pos]);
  if (lead < 0x80) {
    *code_point = lead;
    return 1;
  }
  if (char32_t single = tables.Single(lead); single != 0) {
    *code_point = single;
    return 1;
  }
  if (pos + 1 < run.size()) {
    if (char32_t pair = tables.Pair(lead, static_cast<unsigned char>(run[pos + 1])); pair != 0) {
      *code_point = pair;
      return 2;
    }
  }
  *code_point = U'?';
  return 1;
}

enum class Family { kUtf8, kGbk, kOther };

Family FamilyOf(std::string_view name) {
  if (IsGbkName(name)) return Family::kGbk;
  return NormalizedName(name) == "UTF8" ? Family::kUtf8 : Family::kOther;
}

// The end of the run of characters that starts at `pos` with a byte of 0x80
// or above: the run goes on up to the next ASCII byte at a character start,
// stepping over each byte of 0x80 or above together with the byte after it.
// Both charsets of the tables and every other charset that keeps ASCII are
// cut into runs this way.
size_t NonAsciiRunEnd(std::string_view data, size_t pos) {
  while (pos < data.size() && static_cast<unsigned char>(data[pos]) >= 0x80) pos += 2;
  return std::min(pos, data.size());
}

// Copies the ASCII bytes other than zero from `pos` on to `*out`, sixteen or
// eight at a time while it can, and returns the end of the run. With
// `in_place`, `*out` lies at or before `pos` in the same buffer: every byte is
// read before its place can be written. Otherwise `*out` is a buffer of its
// own with room for at least one byte for each byte of input left, so a block
// of the input fits there whole.
template <bool in_place>
inline size_t CopyAsciiRun(std::string_view data, size_t pos, char** out) {
  char* next = *out;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  while (data.size() - pos >= sizeof(__m128i)) {
    __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data.data() + pos));
    // A bit for every byte of 0x80 or above and every zero byte.
    __m128i stop_bytes = _mm_or_si128(block, _mm_cmpeq_epi8(block, zero));
    auto stops = static_cast<unsigned>(_mm_movemask_epi8(stop_bytes));
    if (stops != 0) {
      size_t ascii = static_cast<size_t>(std::countr_zero(stops));
      // The block is stored whole where its bytes after the run land on
      // spare room or on input already read; the output goes on from the
      // end of the run.
      size_t lag = static_cast<size_t>(data.data() + pos - next);
      if (!in_place || lag == 0 || lag >= sizeof(__m128i)) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(next), block);
      } else {
        std::memmove(next, data.data() + pos, ascii);
      }
      *out = next + ascii;
      return pos + ascii;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(next), block);
    next += sizeof(__m128i);
    pos += sizeof(__m128i);
  }
#endif
  constexpr uint64_t kOnes = 0x0101010101010101;
  constexpr uint64_t kHighBits = 0x8080808080808080;
  while (data.size() - pos >= sizeof(uint64_t)) {
    uint64_t word;
    std::memcpy(&word, data.data() + pos, sizeof(word));
    // Flags every byte of 0x80 or above, and at least one zero byte if any.
    if (((word - kOnes) | word) & kHighBits) break;
    std::memcpy(next, &word, sizeof(word));
    next += sizeof(word);
    pos += sizeof(word);
  }
  while (pos < data.size()) {
    char byte = data[pos];
    if (byte == 0 || static_cast<unsigned char>(byte) >= 0x80) break;
    *next++ = byte;
    ++pos;
  }
  *out = next;
  return pos;
}

// Writes `code_point` at `out` in `target`, "?" when GBK lacks it, and
// returns the end of what it wrote.
template <Family target>
inline char* WriteCharacter(const GbkTables& tables, char32_t code_point, char* out) {
  uint16_t gbk = code_point < 0x80 ? static_cast<uint16_t>(code_point) : tables.Encode(code_point);
  if (gbk == 0) {  // GBK lacks it
    *out++ = '?';
  } else if constexpr (target == Family::kUtf8) {
    out = WriteUtf8(code_point, out);
  } else if (gbk < 0x100) {
    *out++ = static_cast<char>(gbk);
  } else {
    *out++ = static_cast<char>(gbk >> 8);
    *out++ = static_cast<char>(gbk & 0xFF);
  }
  return out;
}

// Converts the three-byte UTF-8 characters from `*pos` on that GBK holds as
// pairs, the bulk of Chinese text, and stops before anything else. Writing
// in place is safe: each character is read before its two bytes are written.
inline void ConvertPairsFromUtf8(const GbkTables& tables, std::string_view data, size_t* pos,
                                 char** out) {
  const auto* in = reinterpret_cast<const unsigned char*>(data.data());
  size_t next = *pos;
  char* written = *out;
  while (data.size() - next >= 3) {
    unsigned lead = in[next];
    unsigned second = in[next + 1];
    unsigned third = in[next + 2];
    char32_t value = (lead & 0x0Fu) << 12 | (second & 0x3Fu) << 6 | (third & 0x3Fu);
    bool three_bytes = (lead & 0xF0) == 0xE0 && (second & 0xC0) == 0x80 && (third & 0xC0) == 0x80;
    // Overlong forms and surrogates are left to DecodeUtf8At.
    if (!three_bytes || value < 0x800 || (value >= 0xD800 && value <= 0xDFFF)) break;
    uint16_t gbk = tables.Encode(value);
    if (gbk < 0x100) break;  // missing from GBK, or a single byte
    written[0] = static_cast<char>(gbk >> 8);
    written[1] = static_cast<char>(gbk & 0xFF);
    written += 2;
    next += 3;
  }
  *pos = next;
  *out = written;
}

// ConvertByTables from UTF-8. The runs between ASCII runs end at an ASCII
// byte, which continues no UTF-8 sequence, so the characters are decoded
// straight through.
template <Family target>
char* ConvertFromUtf8(const GbkTables& tables, std::string_view data, char* out) {
  auto at_high_byte = [&](size_t pos) {
    return pos < data.size() && static_cast<unsigned char>(data[pos]) >= 0x80;
  };
  size_t pos = 0;
  while (pos < data.size()) {
    pos = CopyAsciiRun<true>(data, pos, &out);
    if (pos == data.size() || data[pos] == '\0') break;
    while (at_high_byte(pos)) {
      if constexpr (target == Family::kGbk) {
        ConvertPairsFromUtf8(tables, data, &pos, &out);
        if (!at_high_byte(pos)) break;
      }
      char32_t code_point;
      size_t length = DecodeUtf8At(data, pos, &code_point);
      if (length == 0) {
        code_point = U'?';
        length = 1;
      }
      pos += length;
      out = WriteCharacter<target>(tables, code_point, out);
    }
  }
  return out;
}

// Converts the GBK pairs of `run` from `*pos` on whose characters take three
// bytes of UTF-8, the bulk of Chinese text, and stops before anything else.
// `*pos` is where the run's steps are, and each pair is one step. Each pair
// is stored as four bytes, the last overwritten next: a pair has room for
// six (TableOutputBound, GbkToUtf8Bound) and takes three.
inline void ConvertPairsToUtf8(const GbkTables& tables, std::string_view run, size_t* pos,
                               char** out) {
  const auto* in = reinterpret_cast<const unsigned char*>(run.data());
  size_t next = *pos;
  char* written = *out;
  while (run.size() - next >= 2) {
    unsigned lead = in[next];
    if (lead < 0x80) break;
    uint32_t utf8 = tables.PairUtf8(static_cast<unsigned char>(lead), in[next + 1]);
    if (utf8 == 0) break;  // none, a single byte, or not three bytes of UTF-8
    if constexpr (std::endian::native == std::endian::big) utf8 = __builtin_bswap32(utf8);
    std::memcpy(written, &utf8, sizeof(utf8));
    written += 3;
    next += 2;
  }
  *pos = next;
  *out = written;
}

// ConvertByTables from GBK: a character never reaches past the end of its
// run.
template <Family target>
char* ConvertFromGbk(const GbkTables& tables, std::string_view data, char* out) {
  size_t pos = 0;
  while (pos < data.size()) {
    pos = CopyAsciiRun<false>(data, pos, &out);
    if (pos == data.size() || data[pos] == '\0') break;
    if constexpr (target == Family::kUtf8) {
      // Pairs take two bytes, as the run steps, so the run needs no end yet:
      // it ends at the first ASCII byte the pairs stop at.
      ConvertPairsToUtf8(tables, data, &pos, &out);
      if (pos == data.size() || static_cast<unsigned char>(data[pos]) < 0x80) continue;
    }
    const std::string_view up_to_run_end = data.substr(0, NonAsciiRunEnd(data, pos));
    while (pos < up_to_run_end.size()) {
      if constexpr (target == Family::kUtf8) {
        ConvertPairsToUtf8(tables, up_to_run_end, &pos, &out);
        if (pos == up_to_run_end.size()) break;
      }
      char32_t code_point;
      pos += DecodeGbkAt(tables, up_to_run_end, pos, &code_point);
      if (code_point == 0) return out;  // the text ends
      if constexpr (target == Family::kUtf8) {
        // GBK has a code for every character that it decodes to, unless one
        // lay beyond the Basic Multilingual Plane.
        if (code_point < 0x10000) {
          out = WriteUtf8(code_point, out);
        } else {
          *out++ = '?';
        }
      } else {
        out = WriteCharacter<target>(tables, code_point, out);
      }
    }
  }
  return out;
}

// The room that converting `data` from `source` through the tables needs.
// No UTF-8 character becomes longer, in GBK or in UTF-8, and UTF-8 is
// converted in place. A GBK character becomes at most three bytes (0x80, the
// euro sign, is three bytes of UTF-8), and each holds a byte of 0x80 or above
// unless it is ASCII. Each byte of input adds at least one byte of room.
size_t TableOutputBound(Family source, std::string_view data) {
  if (source == Family::kUtf8) return data.size();
  size_t high_bytes = 0;
  size_t pos = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i low_bits = _mm_set1_epi8(1);
  __m128i sums = zero;  // two 64-bit counts
  for (; data.size() - pos >= sizeof(__m128i); pos += sizeof(__m128i)) {
    __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data.data() + pos));
    // One in each byte that was 0x80 or above, summed per eight bytes.
    __m128i ones = _mm_and_si128(_mm_srli_epi16(block, 7), low_bits);
    sums = _mm_add_epi64(sums, _mm_sad_epu8(ones, zero));
  }
  uint64_t halves[2];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(halves), sums);
  high_bytes = static_cast<size_t>(halves[0] + halves[1]);
#endif
  constexpr uint64_t kOnes = 0x0101010101010101;
  constexpr uint64_t kHighBits = 0x8080808080808080;
  for (; data.size() - pos >= sizeof(uint64_t); pos += sizeof(uint64_t)) {
    uint64_t word;
    std::memcpy(&word, data.data() + pos, sizeof(word));
    // One in each byte that was 0x80 or above, summed into the top byte.
    high_bytes += static_cast<size_t>((((word & kHighBits) >> 7) * kOnes) >> 56);
  }
  for (; pos < data.size(); ++pos) high_bytes += static_cast<unsigned char>(data[pos]) >> 7;
  return data.size() + 2 * high_bytes;
}

// Converts `data` (a byte-order mark already dropped) between UTF-8 and GBK
// through the tables: ASCII runs are copied as they are, each run between
// them is converted character by character, and the text ends before U+0000.
// `out` has room for TableOutputBound bytes. It may be data.data() itself
// when the source is UTF-8: no character becomes longer, so the output never
// overtakes the input. Returns the end of what it wrote.
char* ConvertByTables(const GbkTables& tables, Family source, Family target,
                      std::string_view data, char* out) {
  if (source == Family::kUtf8) {
    return target == Family::kUtf8 ? ConvertFromUtf8<Family::kUtf8>(tables, data, out)
                                   : ConvertFromUtf8<Family::kGbk>(tables, data, out);
  }
  return target == Family::kUtf8 ? ConvertFromGbk<Family::kUtf8>(tables, data, out)
                                 : ConvertFromGbk<Family::kGbk>(tables, data, out);
}

// Any other pair of charsets, through iconv and code points.
class IconvConverter {
 public:
  // `narrower` and `widener` (code points to GBK and back) are null when the
  // source or the target is GBK, which makes narrowing to GBK needless.
  IconvConverter(iconv_t decoder, iconv_t narrower, iconv_t widener, iconv_t encoder)
      : decoder_(decoder), narrower_(narrower), widener_(widener), encoder_(encoder) {}

  // Appends the converted piece (a run that starts and ends at character
  // boundaries) and returns false when the piece held U+0000, where the text
  // ends.
  bool AppendPiece(std::string_view piece, Bytes* out) {
    code_points_.clear();
    Decode(decoder_, piece, &code_points_);
    size_t zero = code_points_.find(U'\0');
    if (zero != std::u32string::npos) code_points_.resize(zero);
    if (narrower_ != nullptr) {
      gbk_.clear();
      Encode(narrower_, code_points_, &gbk_);
      code_points_.clear();
      Decode(widener_, gbk_, &code_points_);
    }
    Encode(encoder_, code_points_, out);
    return zero == std::u32string::npos;
  }

 private:
  iconv_t decoder_;
  iconv_t narrower_;
  iconv_t widener_;
  iconv_t encoder_;
  std::u32string code_points_;
  std::string gbk_;
};

// Converts `data` piece by piece through iconv: ASCII runs are copied as they
// are, each run between them goes to `converter` whole.
Bytes ConvertByRuns(std::string_view data, IconvConverter* converter) {
  Bytes out;
  out.reserve(data.size() + data.size() / 4);
  size_t pos = 0;
  while (pos < data.size()) {
    size_t ascii_end = AsciiRunEnd(data, pos);
    out.append(data.data() + pos, ascii_end - pos);
    if (ascii_end == data.size() || data[ascii_end] == '\0') break;
    size_t run_end = NonAsciiRunEnd(data, ascii_end);
    if (!converter->AppendPiece(data.substr(ascii_end, run_end - ascii_end), &out)) break;
    pos = run_end;
  }
  return out;
}

}  // namespace

Bytes ConvertCharset(std::string_view data, std::string_view source, std::string_view target) {
  std::string from = source.empty() ? std::string(kUtf8) : std::string(source);
  std::string to = target.empty() ? std::string(kGbk) : std::string(target);
  Family from_family = FamilyOf(from);
  Family to_family = FamilyOf(to);

  // A byte-order mark opening UTF-8 is no character of the text.
  if (from_family == Family::kUtf8 && data.starts_with("\xEF\xBB\xBF")) data.remove_prefix(3);

  if (from_family != Family::kOther && to_family != Family::kOther) {
    const GbkTables* tables = GbkTables::Get();
    if (tables == nullptr) return Bytes();
    Bytes out;
    if (from_family == Family::kUtf8) {
      // Converted in place in a copy: UTF-8 never grows.
      out.assign(data);
      data = out;
    } else {
      out.resize(TableOutputBound(from_family, data));
    }
    char* end = ConvertByTables(*tables, from_family, to_family, data, out.data());
    out.resize(static_cast<size_t>(end - out.data()));
    return out;
  }

  if (from_family == Family::kGbk) from = kGbk;
  if (to_family == Family::kGbk) to = kGbk;
  ConverterCache& converters = ThreadConverters();
  converters.MakeRoom(4);
  iconv_t decoder = converters.Get(from, kCodePoints);
  iconv_t encoder = converters.Get(kCodePoints, to);
  iconv_t narrower = nullptr;
  iconv_t widener = nullptr;
  if (from_family != Family::kGbk && to_family != Family::kGbk) {
    narrower = converters.Get(kCodePoints, kGbk);
    widener = converters.Get(kGbk, kCodePoints);
    if (narrower == nullptr || widener == nullptr) return Bytes();
  }
  if (decoder == nullptr || encoder == nullptr) return Bytes();
  IconvConverter converter(decoder, narrower, widener, encoder);
  if (KeepsAscii(from) && KeepsAscii(to)) return ConvertByRuns(data, &converter);
  Bytes out;
  converter.AppendPiece(data, &out);
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  size_t pos = 0;
  while (pos < bytes.size()) {
    // Skip ASCII eight bytes at a time.
    while (bytes.size() - pos >= sizeof(uint64_t)) {
      uint64_t word;
      std::memcpy(&word, bytes.data() + pos, sizeof(word));
      if (word & 0x8080808080808080) break;
      pos += sizeof(word);
    }
    if (pos == bytes.size()) break;
    char32_t code_point;
    size_t length = DecodeUtf8At(bytes, pos, &code_point);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

Text Utf8ToGbk(std::string_view utf8) { return ConvertCharset(utf8, kUtf8, kGbk); }

std::string GbkToUtf8(std::string_view gbk) { return ConvertCharset(gbk, kGbk, kUtf8); }

void Utf8ToGbkInPlace(Bytes* text) {
  const GbkTables* tables = GbkTables::Get();
  if (tables == nullptr) {
    text->clear();
    return;
  }
  std::string_view data(*text);
  if (data.starts_with("\xEF\xBB\xBF")) data.remove_prefix(3);
  char* end = ConvertByTables(*tables, Family::kUtf8, Family::kGbk, data, text->data());
  text->resize(static_cast<size_t>(end - text->data()));
}

// Three bytes for each byte of GBK, without reading it: no character grows
// by more (0x80 alone is the three-byte euro sign). A buffer of this size that
// is never filled beforehand costs only address space beyond what is written.
size_t GbkToUtf8Bound(std::string_view gbk) { return 3 * gbk.size(); }

char* GbkToUtf8At(std::string_view gbk, char* out) {
  const GbkTables* tables = GbkTables::Get();
  if (tables == nullptr) return out;
  return ConvertByTables(*tables, Family::kGbk, Family::kUtf8, gbk, out);
}

}  // namespace morvellin
