#include "ui/version_check.h"

#include "lookup/charset.h"
#include "lookup/web_resource.h"
#include "ui/addresses.h"

namespace morvellin {

namespace {

constexpr std::string_view kCaptionSuffix = "-本软件供至尊VIP内部使用！";
constexpr std::string_view kUpgradeNotice = "已有新版本，请联系Velkor宝客服索取新版！";
constexpr std::string_view kUpgradeNoticeTitle = "升级提醒";

}  // namespace

FetchOptions PublishedVersionOptions(CookieStore* cookies) {
  FetchOptions options;
  options.cookies = cookies;
  options.connect_timeout_seconds = kVersionConnectTimeoutSeconds;
  options.idle_timeout_seconds = kVersionIdleTimeoutSeconds;
  return options;
}

Bytes ReadPublishedVersion(const FetchOptions& options) {
  return ReadWebResource(kVersionFileAddress, options);
}

void CheckPublishedVersion(Toolkit& toolkit, const std::function<Bytes()>& read) {
  const Text published = TextFromBytes(read());
  // Byte for byte: case, spaces and line ends all count.
  if (published != kProgramVersion) {
    toolkit.ShowMessageBox(Utf8ToGbk(kUpgradeNotice), Utf8ToGbk(kUpgradeNoticeTitle));
  }
  toolkit.SetWindowCaption(toolkit.GetWindowCaption() + published +
                           Utf8ToGbk(kCaptionSuffix));
}

}  // namespace morvellin
