// The web addresses the window uses: the maker's site, its published version
// text and the Taobao login page that the browser pane opens.
#ifndef MORVELLIN_UI_ADDRESSES_H_
#define MORVELLIN_UI_ADDRESSES_H_

#include <string_view>

namespace morvellin {

inline constexpr std::string_view kMakerHost = "www.velkor.example";
inline constexpr std::string_view kMakerWebsiteAddress = "http://www.velkor.example";
inline constexpr std::string_view kVersionFileAddress =
    "http://www.velkor.example/velkorrj/chaid.txt";
inline constexpr std::string_view kLoginPageAddress =
    "https://login.taobao.com/member/login.jhtml?redirectURL=http%3A%2F%2Fwww.taobao.com%2F";

}  // namespace morvellin

#endif  // MORVELLIN_UI_ADDRESSES_H_
