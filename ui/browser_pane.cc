#include "ui/browser_pane.h"

#include <glib/gstdio.h>

namespace morvellin {

std::string DefaultBrowserDataDirectory() {
  return std::string(g_get_user_data_dir()) + "/morvellin";
}

std::string DefaultBrowserCacheDirectory() {
  return std::string(g_get_user_cache_dir()) + "/morvellin";
}

WebKitWebView* CreateBrowserPane(const BrowserPaneOptions& options) {
  g_mkdir_with_parents(options.data_directory.c_str(), 0700);
  WebKitWebsiteDataManager* data = webkit_website_data_manager_new(
      "base-data-directory", options.data_directory.c_str(),
      "base-cache-directory", options.cache_directory.c_str(), nullptr);

  // Persistent cookies go to an SQLite file beside the other website data;
  // WebKit keeps session cookies in memory only.
  const std::string cookie_file = options.data_directory + "/cookies.sqlite";
  webkit_cookie_manager_set_persistent_storage(
      webkit_website_data_manager_get_cookie_manager(data), cookie_file.c_str(),
      WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);

  if (!options.proxy_address.empty()) {
    WebKitNetworkProxySettings* proxy =
        webkit_network_proxy_settings_new(options.proxy_address.c_str(), nullptr);
    webkit_website_data_manager_set_network_proxy_settings(
        data, WEBKIT_NETWORK_PROXY_MODE_CUSTOM, proxy);
    webkit_network_proxy_settings_free(proxy);
  }

  WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(data);
  g_object_unref(data);  // the context holds it

  WebKitSettings* settings = webkit_settings_new();
  webkit_settings_set_enable_javascript(settings, TRUE);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);

  auto* view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW,
                                            "web-context", context,
                                            "settings", settings, nullptr));
  g_object_ref_sink(view);
  g_object_unref(settings);
  g_object_unref(context);  // the view holds it

  webkit_web_view_set_zoom_level(view, 1.0);
  return view;
}

WebKitCookieManager* BrowserPaneCookieManager(WebKitWebView* view) {
  return webkit_website_data_manager_get_cookie_manager(
      webkit_web_view_get_website_data_manager(view));
}

}  // namespace morvellin
