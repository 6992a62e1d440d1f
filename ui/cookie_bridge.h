// CookieBridge: makes the browser pane's cookies and the engine's CookieStore
// one store for the user.
//
// Pane to store: every change in the pane (its cookie manager's "changed"
// signal, which does not say what changed) re-reads the pane's whole cookie
// list and makes the store hold exactly that, as a kBrowser change. Store to
// pane: the store's kHttp and kFile changes are added to or deleted from the
// pane. A pane snapshot is only taken into the store when no push to the pane
// is pending and no non-browser change came in while it was being read, so a
// lookup's cookies are never lost to an older picture of the pane.
//
// WebKit's cookie calls are asynchronous and answer on the main loop; nothing
// here blocks waiting for them. The bridge lives on the UI thread and owns the
// store's observer while it exists; the store itself belongs to the caller and
// must outlive the bridge.
#ifndef MORVELLIN_UI_COOKIE_BRIDGE_H_
#define MORVELLIN_UI_COOKIE_BRIDGE_H_

#include <libsoup/soup.h>
#include <webkit2/webkit2.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "lookup/cookie_store.h"

namespace morvellin {

class CookieBridge {
 public:
  // Pushes the store's present cookies into the pane, then takes the pane's
  // whole list (its persistent cookies from earlier runs included) into the
  // store.
  CookieBridge(CookieStore& store, WebKitCookieManager* manager);
  ~CookieBridge();
  CookieBridge(const CookieBridge&) = delete;
  CookieBridge& operator=(const CookieBridge&) = delete;

  // Returns once the store holds the pane's cookies as they are now, every
  // earlier store change having reached the pane first. The main loop runs
  // meanwhile, as in a modal dialog. Gives up, returning false, after `limit`
  // or as soon as `*cancel` is true.
  bool PullFromBrowser(std::chrono::milliseconds limit = std::chrono::seconds(5),
                       const std::atomic<bool>* cancel = nullptr);

  // Returns once every store change reported so far has reached the pane,
  // with the same waiting rules as PullFromBrowser.
  bool FlushToBrowser(std::chrono::milliseconds limit = std::chrono::seconds(5),
                      const std::atomic<bool>* cancel = nullptr);

 private:
  struct Link;
  struct PushBatch;
  struct PullCall;

  static void OnPaneChanged(WebKitCookieManager* manager, gpointer self);
  static gboolean RunQueuedPush(gpointer batch);
  static void OnCookieAdded(GObject* source, GAsyncResult* result, gpointer batch);
  static void OnCookieDeleted(GObject* source, GAsyncResult* result, gpointer batch);
  static void OnPushListRead(GObject* source, GAsyncResult* result, gpointer batch);
  static void OnPulled(GObject* source, GAsyncResult* result, gpointer call);

  void StartPush(PushBatch* batch);
  static void FinishPushStep(PushBatch* batch);
  void RequestPull();
  void MaybeStartPull();

  CookieStore& store_;
  WebKitCookieManager* manager_;
  gulong changed_handler_ = 0;
  std::shared_ptr<Link> link_;
  bool pull_wanted_ = false;
  bool pull_in_flight_ = false;
  uint64_t pulls_started_ = 0;
  uint64_t pulls_accepted_ = 0;  // number of the last pull taken into the store
  uint64_t pulls_failed_ = 0;    // number of the last pull that WebKit refused
};

// Conversions between the store's cookies and libsoup's, which WebKit speaks.
// A host-only cookie's SoupCookie domain has no leading dot and a domain
// cookie's has one. SameSite "Lax" and "Strict" map to libsoup's policies;
// libsoup has no "unsaid", so its NONE reads back as the empty string.
Cookie CookieFromSoup(SoupCookie* cookie);
// The caller frees the result with soup_cookie_free.
SoupCookie* SoupCookieFrom(const Cookie& cookie);

}  // namespace morvellin

#endif  // MORVELLIN_UI_COOKIE_BRIDGE_H_
