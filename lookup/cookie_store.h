// The one cookie store that the lookups, the version check and the browser
// pane share.
//
// The store holds cookies as a browser keeps them. Every HTTP request of the
// engine starts from a snapshot of it and hands back what its responses set or
// deleted; the window's browser pane is bridged to it both ways. All methods
// are safe to call from any thread. The observer runs on the thread that made
// the change, after the store's lock has been released.
#ifndef MORVELLIN_LOOKUP_COOKIE_STORE_H_
#define MORVELLIN_LOOKUP_COOKIE_STORE_H_

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace morvellin {

struct Cookie {
  std::string name;
  std::string value;
  std::string domain;      // lower case, without a leading dot
  bool host_only = true;   // false: also sent to every subdomain of `domain`
  std::string path = "/";
  bool secure = false;
  bool http_only = false;
  int64_t expires = 0;     // Unix time in seconds; 0 for a session cookie
  std::string same_site;   // "None", "Lax", "Strict", or empty when unsaid

  // Cookies with the same domain, path and name replace each other.
  bool SameKey(const Cookie& other) const;
  bool operator==(const Cookie&) const = default;
};

// Who changed the store; the bridge to the browser pane uses it to avoid
// echoing the pane's own changes back to it.
enum class CookieSource { kHttp, kBrowser, kFile };

struct CookieChange {
  Cookie cookie;
  bool removed = false;  // true: the cookie with this key is gone
};

class CookieStore {
 public:
  using Observer =
      std::function<void(CookieSource, const std::vector<CookieChange>&)>;

  // The cookies that have not expired at `now` (Unix seconds).
  std::vector<Cookie> Snapshot(int64_t now) const;
  std::vector<Cookie> Snapshot() const;

  // Adds, replaces or removes cookies by key, then tells the observer about
  // the changes that altered the store.
  void Apply(CookieSource source, const std::vector<CookieChange>& changes);

  // Makes the store hold exactly `cookies`, as one change from `source`.
  void ReplaceAll(CookieSource source, const std::vector<Cookie>& cookies);

  // ReplaceAll, done only while NonBrowserChanges() still equals
  // `non_browser_changes`, checked under the same lock; false otherwise. The
  // bridge uses it so that a snapshot of the browser pane never undoes a
  // change that reached the store after the snapshot was asked for.
  bool ReplaceAllIfUnchanged(CookieSource source, const std::vector<Cookie>& cookies,
                             uint64_t non_browser_changes);

  // Counts the changes made by sources other than the browser pane, so that
  // the bridge can tell whether a snapshot of the pane is still current.
  uint64_t NonBrowserChanges() const;

  // One observer at a time; an empty function removes it.
  void SetObserver(Observer observer);

 private:
  bool ReplaceAllIfUnchanged(CookieSource source, const std::vector<Cookie>& cookies,
                             std::optional<uint64_t> non_browser_changes);
  std::vector<CookieChange> ApplyLocked(const std::vector<CookieChange>& changes);

  mutable std::mutex mutex_;
  std::vector<Cookie> cookies_;
  uint64_t non_browser_changes_ = 0;
  Observer observer_;
};

}  // namespace morvellin

#endif  // MORVELLIN_LOOKUP_COOKIE_STORE_H_
