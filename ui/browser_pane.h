// The web view of the login panel: a WebKit view with its own website data
// (cookies, caches) kept in the user's data directory, so that a login made
// in it outlives the program as it would in the system's browser.
#ifndef MORVELLIN_UI_BROWSER_PANE_H_
#define MORVELLIN_UI_BROWSER_PANE_H_

#include <webkit2/webkit2.h>

#include <string>

namespace morvellin {

struct BrowserPaneOptions {
  // Website data and the cookie database (cookies.sqlite). Session cookies
  // stay in memory.
  std::string data_directory;
  std::string cache_directory;
  // An HTTP proxy for every request of the pane ("http://127.0.0.1:8080");
  // empty follows the system's proxy settings.
  std::string proxy_address;
};

// <XDG data home>/morvellin and <XDG cache home>/morvellin.
std::string DefaultBrowserDataDirectory();
std::string DefaultBrowserCacheDirectory();

// A new web view with the pane's settings: medium text size (zoom 1.0), page
// dialogs shown, loads from the network. The caller owns the returned
// reference (already sunk).
WebKitWebView* CreateBrowserPane(const BrowserPaneOptions& options);

// The cookie manager of the view's website data; owned by the view.
WebKitCookieManager* BrowserPaneCookieManager(WebKitWebView* view);

}  // namespace morvellin

#endif  // MORVELLIN_UI_BROWSER_PANE_H_
