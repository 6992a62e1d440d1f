// LookupMemberId: address of the trade card, one fetch, one pattern search.
#include "lookup/member_lookup.h"

#include <string>

#include "lookup/pattern_matcher.h"

namespace morvellin {

namespace {

// The query before the nickname: a fixed page position ("spm") and the fixed,
// already escaped GBK account name of the asking seller ("loginId").
constexpr std::string_view kAddressPath =
    "/tradecard/nameCard.htm?spm=989.1000764.0.0.nXpSTa"
    "&loginId=cntaobao%CA%BE%C0%FD%C2%F4%BC%D2%D5%CB%BA%C5&uid=cntaobao";
// The query after the nickname.
constexpr std::string_view kAddressTail = "&ver=7.20.36T&queryOrderCount=0&qq-pf-to=pcqq.c2c";
// The buyer ID: everything from the attribute's opening quote to the last
// double quote of its line.
constexpr std::string_view kBuyerIdPattern = "data-buyerId=\"(.*)\"";

inline bool IsKeptByte(unsigned char byte) {
  return byte == '-' || byte == '.' || (byte >= '0' && byte <= '9') ||
         (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

}  // namespace

Text EncodeNickname(std::string_view nickname) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  Text encoded;
  encoded.reserve(nickname.size() * 3);
  for (char c : nickname) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (IsKeptByte(byte)) {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHexDigits[byte >> 4];
      encoded += kHexDigits[byte & 0x0F];
    }
  }
  return encoded;
}

Text LookupAddress(std::string_view nickname) {
  Text address = "http://";
  address += kTradeCardHost;
  address += kAddressPath;
  address += EncodeNickname(nickname);
  address += kAddressTail;
  return address;
}

Text LookupMemberId(std::string_view nickname, const FetchOptions& options) {
  PatternMatcher matcher;
  Text address = LookupAddress(nickname);
  Text page = FetchPage(address, options);
  matcher.Create(kBuyerIdPattern, page);
  return matcher.SubmatchText(1, 1);
}

}  // namespace morvellin
