#include "ui/cookie_bridge.h"

#include <glib.h>

#include <algorithm>
#include <string>

#include "ui/main_loop_wait.h"

namespace morvellin {

// What the bridge shares with queued pushes and WebKit callbacks, which may
// come back after the bridge is gone.
struct CookieBridge::Link {
  CookieBridge* bridge = nullptr;  // UI thread only; null once the bridge is gone
  // Store changes reported by the observer whose pushes have not yet all been
  // answered by the pane. Raised on the changing thread, lowered on the UI
  // thread.
  std::atomic<int> unsettled{0};
};

// One observer report on its way into the pane.
struct CookieBridge::PushBatch {
  std::shared_ptr<Link> link;
  std::vector<CookieChange> changes;
  int steps_in_flight = 0;
};

struct CookieBridge::PullCall {
  std::shared_ptr<Link> link;
  uint64_t number = 0;
  uint64_t non_browser_changes = 0;
};

namespace {

std::string SameSiteName(SoupSameSitePolicy policy) {
  switch (policy) {
    case SOUP_SAME_SITE_POLICY_LAX: return "Lax";
    case SOUP_SAME_SITE_POLICY_STRICT: return "Strict";
    case SOUP_SAME_SITE_POLICY_NONE: break;
  }
  return {};
}

SoupSameSitePolicy SameSitePolicy(const std::string& name) {
  if (g_ascii_strcasecmp(name.c_str(), "Lax") == 0) return SOUP_SAME_SITE_POLICY_LAX;
  if (g_ascii_strcasecmp(name.c_str(), "Strict") == 0) return SOUP_SAME_SITE_POLICY_STRICT;
  return SOUP_SAME_SITE_POLICY_NONE;
}

// The pane's cookies that have not expired, in the store's form.
std::vector<Cookie> CookiesFromList(GList* list) {
  const int64_t now = g_get_real_time() / G_USEC_PER_SEC;
  std::vector<Cookie> cookies;
  for (GList* item = list; item; item = item->next) {
    Cookie cookie = CookieFromSoup(static_cast<SoupCookie*>(item->data));
    if (cookie.domain.empty()) continue;
    if (cookie.expires != 0 && cookie.expires <= now) continue;
    cookies.push_back(std::move(cookie));
  }
  return cookies;
}

void FreeCookieList(GList* list) {
  g_list_free_full(list, reinterpret_cast<GDestroyNotify>(soup_cookie_free));
}

}  // namespace

Cookie CookieFromSoup(SoupCookie* soup) {
  Cookie cookie;
  cookie.name = soup_cookie_get_name(soup);
  cookie.value = soup_cookie_get_value(soup);
  const char* domain = soup_cookie_get_domain(soup);
  std::string host = domain ? domain : "";
  cookie.host_only = host.empty() || host.front() != '.';
  if (!cookie.host_only) host.erase(0, 1);
  gchar* lower = g_ascii_strdown(host.c_str(), -1);
  cookie.domain = lower;
  g_free(lower);
  const char* path = soup_cookie_get_path(soup);
  cookie.path = path && *path ? path : "/";
  cookie.secure = soup_cookie_get_secure(soup);
  cookie.http_only = soup_cookie_get_http_only(soup);
  GDateTime* expires = soup_cookie_get_expires(soup);
  cookie.expires = expires ? g_date_time_to_unix(expires) : 0;
  cookie.same_site = SameSiteName(soup_cookie_get_same_site_policy(soup));
  return cookie;
}

SoupCookie* SoupCookieFrom(const Cookie& cookie) {
  // libsoup tells a domain cookie by the leading dot of its domain.
  const std::string domain = cookie.host_only ? cookie.domain : "." + cookie.domain;
  SoupCookie* soup = soup_cookie_new(cookie.name.c_str(), cookie.value.c_str(),
                                     domain.c_str(), cookie.path.c_str(), -1);
  if (cookie.expires != 0) {
    GDateTime* expires = g_date_time_new_from_unix_utc(cookie.expires);
    soup_cookie_set_expires(soup, expires);
    g_date_time_unref(expires);
  }
  soup_cookie_set_secure(soup, cookie.secure);
  soup_cookie_set_http_only(soup, cookie.http_only);
  soup_cookie_set_same_site_policy(soup, SameSitePolicy(cookie.same_site));
  return soup;
}

CookieBridge::CookieBridge(CookieStore& store, WebKitCookieManager* manager)
    : store_(store),
      manager_(WEBKIT_COOKIE_MANAGER(g_object_ref(manager))),
      link_(std::make_shared<Link>()) {
  link_->bridge = this;
  changed_handler_ = g_signal_connect(manager_, "changed", G_CALLBACK(OnPaneChanged), this);

  // The observer runs on whatever thread changed the store; WebKit may only
  // be called on this one, so the change travels through an idle callback.
  store_.SetObserver([link = link_](CookieSource source,
                                    const std::vector<CookieChange>& changes) {
    if (source == CookieSource::kBrowser || changes.empty()) return;
    link->unsettled.fetch_add(1);
    g_idle_add_full(G_PRIORITY_DEFAULT, RunQueuedPush, new PushBatch{link, changes, 0},
                    nullptr);
  });

  // What the store already holds goes into the pane first, so that the pull
  // that follows cannot drop it.
  std::vector<CookieChange> present;
  for (Cookie& cookie : store_.Snapshot()) present.push_back({std::move(cookie), false});
  if (!present.empty()) {
    link_->unsettled.fetch_add(1);
    StartPush(new PushBatch{link_, std::move(present), 0});
  }
  RequestPull();
}

CookieBridge::~CookieBridge() {
  store_.SetObserver({});
  link_->bridge = nullptr;
  g_signal_handler_disconnect(manager_, changed_handler_);
  g_object_unref(manager_);
}

bool CookieBridge::PullFromBrowser(std::chrono::milliseconds limit,
                                   const std::atomic<bool>* cancel) {
  // Only a pull that starts after this call sees the pane as it is now.
  const uint64_t wanted = pulls_started_ + 1;
  RequestPull();
  RunMainLoopUntil(
      [&] {
        return pulls_accepted_ >= wanted || pulls_failed_ >= wanted ||
               (cancel && cancel->load());
      },
      limit);
  return pulls_accepted_ >= wanted;
}

bool CookieBridge::FlushToBrowser(std::chrono::milliseconds limit,
                                  const std::atomic<bool>* cancel) {
  return RunMainLoopUntil(
             [&] { return link_->unsettled.load() == 0 || (cancel && cancel->load()); },
             limit) &&
         link_->unsettled.load() == 0;
}

void CookieBridge::OnPaneChanged(WebKitCookieManager*, gpointer self) {
  static_cast<CookieBridge*>(self)->RequestPull();
}

gboolean CookieBridge::RunQueuedPush(gpointer data) {
  auto* batch = static_cast<PushBatch*>(data);
  if (CookieBridge* bridge = batch->link->bridge) {
    bridge->StartPush(batch);
  } else {
    batch->link->unsettled.fetch_sub(1);
    delete batch;
  }
  return G_SOURCE_REMOVE;
}

void CookieBridge::StartPush(PushBatch* batch) {
  // A deletion must name the pane's cookie exactly, value included, so the
  // pane's list is read first when the batch deletes anything.
  batch->steps_in_flight = 1;
  const bool deletes = std::any_of(batch->changes.begin(), batch->changes.end(),
                                   [](const CookieChange& change) { return change.removed; });
  if (deletes) {
    webkit_cookie_manager_get_all_cookies(manager_, nullptr, OnPushListRead, batch);
    return;
  }
  for (const CookieChange& change : batch->changes) {
    SoupCookie* cookie = SoupCookieFrom(change.cookie);
    ++batch->steps_in_flight;
    webkit_cookie_manager_add_cookie(manager_, cookie, nullptr, OnCookieAdded, batch);
    soup_cookie_free(cookie);
  }
  FinishPushStep(batch);
}

void CookieBridge::OnPushListRead(GObject* source, GAsyncResult* result, gpointer data) {
  auto* batch = static_cast<PushBatch*>(data);
  auto* manager = WEBKIT_COOKIE_MANAGER(source);
  GList* pane = webkit_cookie_manager_get_all_cookies_finish(manager, result, nullptr);
  if (batch->link->bridge) {
    for (const CookieChange& change : batch->changes) {
      if (change.removed) {
        for (GList* item = pane; item; item = item->next) {
          auto* cookie = static_cast<SoupCookie*>(item->data);
          if (!CookieFromSoup(cookie).SameKey(change.cookie)) continue;
          ++batch->steps_in_flight;
          webkit_cookie_manager_delete_cookie(manager, cookie, nullptr, OnCookieDeleted, batch);
        }
      } else {
        SoupCookie* cookie = SoupCookieFrom(change.cookie);
        ++batch->steps_in_flight;
        webkit_cookie_manager_add_cookie(manager, cookie, nullptr, OnCookieAdded, batch);
        soup_cookie_free(cookie);
      }
    }
  }
  FreeCookieList(pane);
  FinishPushStep(batch);
}

void CookieBridge::OnCookieAdded(GObject* source, GAsyncResult* result, gpointer batch) {
  webkit_cookie_manager_add_cookie_finish(WEBKIT_COOKIE_MANAGER(source), result, nullptr);
  FinishPushStep(static_cast<PushBatch*>(batch));
}

void CookieBridge::OnCookieDeleted(GObject* source, GAsyncResult* result, gpointer batch) {
  webkit_cookie_manager_delete_cookie_finish(WEBKIT_COOKIE_MANAGER(source), result, nullptr);
  FinishPushStep(static_cast<PushBatch*>(batch));
}

void CookieBridge::FinishPushStep(PushBatch* batch) {
  if (--batch->steps_in_flight > 0) return;
  std::shared_ptr<Link> link = batch->link;
  delete batch;
  link->unsettled.fetch_sub(1);
  if (link->bridge) link->bridge->MaybeStartPull();
}

void CookieBridge::RequestPull() {
  pull_wanted_ = true;
  MaybeStartPull();
}

void CookieBridge::MaybeStartPull() {
  if (pull_in_flight_ || !pull_wanted_ || link_->unsettled.load() > 0) return;
  pull_wanted_ = false;
  pull_in_flight_ = true;
  auto* call = new PullCall{link_, ++pulls_started_, store_.NonBrowserChanges()};
  webkit_cookie_manager_get_all_cookies(manager_, nullptr, OnPulled, call);
}

void CookieBridge::OnPulled(GObject* source, GAsyncResult* result, gpointer data) {
  auto* call = static_cast<PullCall*>(data);
  GError* error = nullptr;
  GList* pane =
      webkit_cookie_manager_get_all_cookies_finish(WEBKIT_COOKIE_MANAGER(source), result, &error);
  if (CookieBridge* bridge = call->link->bridge) {
    bridge->pull_in_flight_ = false;
    if (error) {
      // The pane could not be read; the store stays as it is until the next
      // change of the pane asks again.
      bridge->pulls_failed_ = call->number;
    } else if (call->link->unsettled.load() == 0 &&
               bridge->store_.ReplaceAllIfUnchanged(CookieSource::kBrowser,
                                                    CookiesFromList(pane),
                                                    call->non_browser_changes)) {
      bridge->pulls_accepted_ = call->number;
    } else {
      // Something reached the store meanwhile: read the pane again once the
      // pushes have landed there.
      bridge->pull_wanted_ = true;
    }
    bridge->MaybeStartPull();
  }
  FreeCookieList(pane);
  g_clear_error(&error);
  delete call;
}

}  // namespace morvellin
