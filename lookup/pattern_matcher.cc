// PatternMatcher over PCRE2: the subject is searched as UTF-8 and the matches
// are found one after the other, only as far as they are asked for.
#include "lookup/pattern_matcher.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "lookup/charset.h"
#include "lookup/charset_buffers.h"

namespace morvellin {

// One compiled pattern, its UTF-8 subject and the matches found so far.
struct PatternMatcher::Search {
  Search() = default;
  Search(const Search&) = delete;
  Search& operator=(const Search&) = delete;
  ~Search() {
    pcre2_match_data_free(match_data);
    pcre2_code_free(code);
  }

  // Finds the match after the last one found; false when there is none.
  bool FindNext();

  pcre2_code* code = nullptr;
  pcre2_match_data* match_data = nullptr;
  // The subject in UTF-8, at the start of a buffer that is never filled
  // beforehand: a page may be many megabytes.
  std::unique_ptr<char[]> subject_buffer;
  std::string_view subject;
  // Where the next search starts; past the end once the matches are used up.
  size_t next_offset = 0;
  bool exhausted = false;
  // Per match, the start and end offsets of group 0, 1, ...; PCRE2_UNSET
  // for a group that took no part.
  std::vector<std::vector<PCRE2_SIZE>> matches;
};

bool PatternMatcher::Search::FindNext() {
  if (exhausted || code == nullptr || next_offset > subject.size()) {
    exhausted = true;
    return false;
  }
  auto text = reinterpret_cast<PCRE2_SPTR>(subject.data());
  // The subject came out of iconv, so it is valid UTF-8: no need to check it
  // again on every call.
  int rc = pcre2_match(code, text, subject.size(), next_offset, PCRE2_NO_UTF_CHECK, match_data,
                       nullptr);
  if (rc == PCRE2_ERROR_JIT_STACKLIMIT) {
    // The interpreter keeps its backtracking on the heap and copes further.
    rc = pcre2_match(code, text, subject.size(), next_offset, PCRE2_NO_UTF_CHECK | PCRE2_NO_JIT,
                     match_data, nullptr);
  }
  if (rc <= 0) {  // no match, or an error such as the match limit
    exhausted = true;
    return false;
  }
  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(match_data);
  matches.emplace_back(ovector, ovector + 2 * static_cast<size_t>(rc));

  PCRE2_SIZE start = ovector[0];
  PCRE2_SIZE end = ovector[1];
  if (end > start && end > next_offset) {
    next_offset = end;
  } else {
    // An empty match: the next search begins one character further on.
    size_t from = end > next_offset ? end : next_offset;
    if (from >= subject.size()) {
      next_offset = subject.size() + 1;
    } else {
      next_offset = from + 1;
      while (next_offset < subject.size() &&
             (static_cast<unsigned char>(subject[next_offset]) & 0xC0) == 0x80) {
        ++next_offset;
      }
    }
  }
  return true;
}

PatternMatcher::PatternMatcher() = default;
PatternMatcher::~PatternMatcher() = default;

void PatternMatcher::Create(std::string_view pattern, std::string_view subject) {
  search_.reset();
  auto search = std::make_unique<Search>();

  std::string utf8_pattern = GbkToUtf8(pattern);
  pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
  if (context == nullptr) return;
  // LF alone ends a line: "." takes every character but LF, CR included.
  pcre2_set_newline(context, PCRE2_NEWLINE_LF);
  int error_code = 0;
  PCRE2_SIZE error_offset = 0;
  search->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(utf8_pattern.data()),
                               utf8_pattern.size(), PCRE2_UTF | PCRE2_CASELESS | PCRE2_MULTILINE,
                               &error_code, &error_offset, context);
  pcre2_compile_context_free(context);
  if (search->code == nullptr) return;  // a bad pattern: no matches
  pcre2_jit_compile(search->code, PCRE2_JIT_COMPLETE);  // without JIT it is only slower
  search->match_data = pcre2_match_data_create_from_pattern(search->code, nullptr);
  if (search->match_data == nullptr) return;

  search->subject_buffer = std::make_unique_for_overwrite<char[]>(GbkToUtf8Bound(subject));
  char* subject_start = search->subject_buffer.get();
  char* subject_end = GbkToUtf8At(subject, subject_start);
  search->subject =
      std::string_view(subject_start, static_cast<size_t>(subject_end - subject_start));
  search_ = std::move(search);
}

// The matches are searched for here, only as far as `match_number` needs. The
// search state lives behind `search_`, so this const method extends it: a
// matcher belongs to one thread at a time.
Text PatternMatcher::SubmatchText(int match_number, int group_number) const {
  if (search_ == nullptr || match_number < 1 || group_number < 1) return Text();
  size_t match_index = static_cast<size_t>(match_number) - 1;
  while (search_->matches.size() <= match_index) {
    if (!search_->FindNext()) return Text();
  }
  const std::vector<PCRE2_SIZE>& offsets = search_->matches[match_index];
  size_t pair = 2 * static_cast<size_t>(group_number);
  if (pair + 1 >= offsets.size()) return Text();
  PCRE2_SIZE start = offsets[pair];
  PCRE2_SIZE end = offsets[pair + 1];
  if (start == PCRE2_UNSET || end <= start) return Text();
  return Utf8ToGbk(search_->subject.substr(start, end - start));
}

}  // namespace morvellin
