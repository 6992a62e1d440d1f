// The start-up version check: reads the version text that the maker
// publishes, shows the upgrade notice when it is not exactly this program's
// version, and adds the text to the window caption.
//
// The check runs once, before the main window is shown. It owns nothing; the
// caller supplies the reader, so that tests can serve any body.
#ifndef MORVELLIN_UI_VERSION_CHECK_H_
#define MORVELLIN_UI_VERSION_CHECK_H_

#include <functional>
#include <string_view>

#include "lookup/page_fetch.h"
#include "lookup/text.h"
#include "ui/toolkit.h"

namespace morvellin {

// This program's version, as the published text must spell it.
inline constexpr std::string_view kProgramVersion = "V1.0";

// How long the version request may take to connect, and to wait for data,
// before start-up goes on without it.
inline constexpr long kVersionConnectTimeoutSeconds = 10;
inline constexpr long kVersionIdleTimeoutSeconds = 10;

// The request options of the version check: the shared cookie store (may be
// null) and the time limits above.
FetchOptions PublishedVersionOptions(CookieStore* cookies);

// Every byte of the published version file; empty when nothing could be read.
Bytes ReadPublishedVersion(const FetchOptions& options);

// Reads the published version through `read`, shows the upgrade notice when
// it differs from kProgramVersion in any byte (an empty text differs too),
// then sets the window caption to the current caption, the published text
// and the caption suffix.
void CheckPublishedVersion(Toolkit& toolkit, const std::function<Bytes()>& read);

}  // namespace morvellin

#endif  // MORVELLIN_UI_VERSION_CHECK_H_
