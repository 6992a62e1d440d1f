// LookupMemberId: from a Wangwang nickname to the buyer ID on its trade card.
#ifndef MORVELLIN_LOOKUP_MEMBER_LOOKUP_H_
#define MORVELLIN_LOOKUP_MEMBER_LOOKUP_H_

#include <string_view>

#include "lookup/page_fetch.h"
#include "lookup/text.h"

namespace morvellin {

// The host of the seller-side trade-card service.
inline constexpr std::string_view kTradeCardHost = "tradecardseller.wangwang.taobao.com";

// Percent-encodes every byte of `nickname` outside "-", ".", 0-9, A-Z and a-z
// as "%XX" with upper-case hex digits, byte by byte.
Text EncodeNickname(std::string_view nickname);

// The trade-card address for `nickname`.
Text LookupAddress(std::string_view nickname);

// Fetches the nickname's trade card and returns the value of its
// data-buyerId attribute, or an empty Text when there is none.
Text LookupMemberId(std::string_view nickname, const FetchOptions& options);

}  // namespace morvellin

#endif  // MORVELLIN_LOOKUP_MEMBER_LOOKUP_H_
