// One regular expression run over one subject, handing out capture groups.
//
// The expression runs through PCRE2 on the subject converted from GBK to
// UTF-8: letters match in any case, ^ and $ match at line boundaries, "."
// matches every character but LF, quantifiers are greedy, and matches are
// collected left to right. Group texts come back as GBK.
#ifndef MORVELLIN_LOOKUP_PATTERN_MATCHER_H_
#define MORVELLIN_LOOKUP_PATTERN_MATCHER_H_

#include <memory>
#include <string_view>

#include "lookup/text.h"

namespace morvellin {

class PatternMatcher {
 public:
  PatternMatcher();
  ~PatternMatcher();
  PatternMatcher(const PatternMatcher&) = delete;
  PatternMatcher& operator=(const PatternMatcher&) = delete;

  // Starts afresh with `pattern` over `subject`. A pattern that does not
  // compile leaves the matcher without matches.
  void Create(std::string_view pattern, std::string_view subject);

  // The text of group `group_number` of match `match_number`, both counted
  // from 1; empty when there is no such match or group, or the group took no
  // part in the match.
  Text SubmatchText(int match_number, int group_number) const;

 private:
  struct Search;
  std::unique_ptr<Search> search_;
};

}  // namespace morvellin

#endif  // MORVELLIN_LOOKUP_PATTERN_MATCHER_H_
