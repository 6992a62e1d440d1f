// The shared cookie store: a list of cookies keyed by domain, path and name,
// guarded by one mutex; observers hear about changes after it is released.
#include "lookup/cookie_store.h"

#include <algorithm>
#include <ctime>
#include <optional>
#include <utility>

namespace morvellin {

namespace {

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

bool IsExpired(const Cookie& cookie, int64_t now) {
  return cookie.expires != 0 && cookie.expires <= now;
}

// Domains are kept in lower case without the leading dot that cookie files
// and Set-Cookie headers may give them.
Cookie Normalized(Cookie cookie) {
  while (!cookie.domain.empty() && cookie.domain.front() == '.') {
    cookie.domain.erase(0, 1);
  }
  for (char& c : cookie.domain) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (cookie.path.empty()) cookie.path.push_back('/');
  return cookie;
}

}  // namespace

bool Cookie::SameKey(const Cookie& other) const {
  return domain == other.domain && path == other.path && name == other.name;
}

std::vector<Cookie> CookieStore::Snapshot(int64_t now) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Cookie> result;
  result.reserve(cookies_.size());
  for (const Cookie& cookie : cookies_) {
    if (!IsExpired(cookie, now)) result.push_back(cookie);
  }
  return result;
}

std::vector<Cookie> CookieStore::Snapshot() const { return Snapshot(Now()); }

std::vector<CookieChange> CookieStore::ApplyLocked(
    const std::vector<CookieChange>& changes) {
  const int64_t now = Now();
  std::vector<CookieChange> made;
  for (const CookieChange& change : changes) {
    Cookie cookie = Normalized(change.cookie);
    auto held = std::find_if(cookies_.begin(), cookies_.end(),
                             [&](const Cookie& c) { return c.SameKey(cookie); });
    // Setting a cookie that has already expired deletes it, as in a browser.
    if (change.removed || IsExpired(cookie, now)) {
      if (held == cookies_.end()) continue;
      made.push_back({*held, true});
      cookies_.erase(held);
    } else if (held == cookies_.end()) {
      cookies_.push_back(cookie);
      made.push_back({std::move(cookie), false});
    } else if (!(*held == cookie)) {
      *held = cookie;
      made.push_back({std::move(cookie), false});
    }
  }
  return made;
}

void CookieStore::Apply(CookieSource source,
                        const std::vector<CookieChange>& changes) {
  std::vector<CookieChange> made;
  Observer observer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    made = ApplyLocked(changes);
    if (made.empty()) return;
    if (source != CookieSource::kBrowser) ++non_browser_changes_;
    observer = observer_;
  }
  if (observer) observer(source, made);
}

void CookieStore::ReplaceAll(CookieSource source,
                             const std::vector<Cookie>& cookies) {
  ReplaceAllIfUnchanged(source, cookies, std::nullopt);
}

bool CookieStore::ReplaceAllIfUnchanged(CookieSource source,
                                        const std::vector<Cookie>& cookies,
                                        uint64_t non_browser_changes) {
  return ReplaceAllIfUnchanged(source, cookies, std::optional(non_browser_changes));
}

bool CookieStore::ReplaceAllIfUnchanged(CookieSource source,
                                        const std::vector<Cookie>& cookies,
                                        std::optional<uint64_t> non_browser_changes) {
  std::vector<CookieChange> made;
  Observer observer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (non_browser_changes && *non_browser_changes != non_browser_changes_) return false;
    // First every held cookie whose key the new set lacks goes, then the new
    // set is applied over what is left; a key given twice keeps its last.
    std::vector<CookieChange> additions;
    additions.reserve(cookies.size());
    for (const Cookie& cookie : cookies) additions.push_back({Normalized(cookie), false});
    std::vector<CookieChange> changes;
    for (const Cookie& held : cookies_) {
      bool kept = std::any_of(additions.begin(), additions.end(),
                              [&](const CookieChange& c) { return c.cookie.SameKey(held); });
      if (!kept) changes.push_back({held, true});
    }
    changes.insert(changes.end(), additions.begin(), additions.end());
    made = ApplyLocked(changes);
    if (made.empty()) return true;
    if (source != CookieSource::kBrowser) ++non_browser_changes_;
    observer = observer_;
  }
  if (observer) observer(source, made);
  return true;
}

uint64_t CookieStore::NonBrowserChanges() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return non_browser_changes_;
}

void CookieStore::SetObserver(Observer observer) {
  std::lock_guard<std::mutex> lock(mutex_);
  observer_ = std::move(observer);
}

}  // namespace morvellin
