// The shared cookie store: keys, expiry, ReplaceAll and what the observer
// hears.
#include "lookup/cookie_store.h"

#include <gtest/gtest.h>

#include <thread>

namespace morvellin {
namespace {

Cookie MakeCookie(std::string name, std::string value, std::string domain = "shop.test") {
  Cookie cookie;
  cookie.name = std::move(name);
  cookie.value = std::move(value);
  cookie.domain = std::move(domain);
  return cookie;
}

// Records every notification.
struct Recorder {
  struct Call {
    CookieSource source;
    std::vector<CookieChange> changes;
  };
  std::vector<Call> calls;
  void Attach(CookieStore& store) {
    store.SetObserver([this](CookieSource source, const std::vector<CookieChange>& changes) {
      calls.push_back({source, changes});
    });
  }
};

TEST(CookieStoreTest, ObserverHearsOnlyChangesThatAlteredTheStore) {
  CookieStore store;
  Recorder recorder;
  recorder.Attach(store);
  const Cookie a = MakeCookie("a", "1");

  store.Apply(CookieSource::kHttp, {{a, false}});
  store.Apply(CookieSource::kHttp, {{a, false}});  // the same again
  store.Apply(CookieSource::kHttp, {{MakeCookie("gone", ""), true}});  // nothing to remove
  ASSERT_EQ(recorder.calls.size(), 1u);
  EXPECT_EQ(recorder.calls[0].source, CookieSource::kHttp);
  ASSERT_EQ(recorder.calls[0].changes.size(), 1u);
  EXPECT_EQ(recorder.calls[0].changes[0].cookie, a);

  // A batch where only one of three entries changes anything.
  Cookie a2 = a;
  a2.value = "2";
  store.Apply(CookieSource::kBrowser,
              {{a, false}, {a2, false}, {MakeCookie("gone", ""), true}});
  ASSERT_EQ(recorder.calls.size(), 2u);
  EXPECT_EQ(recorder.calls[1].source, CookieSource::kBrowser);
  ASSERT_EQ(recorder.calls[1].changes.size(), 1u);
  EXPECT_EQ(recorder.calls[1].changes[0].cookie.value, "2");

  store.Apply(CookieSource::kHttp, {{a, true}});
  ASSERT_EQ(recorder.calls.size(), 3u);
  EXPECT_TRUE(recorder.calls[2].changes[0].removed);
  EXPECT_TRUE(store.Snapshot().empty());
}

TEST(CookieStoreTest, KeyIsDomainPathAndName) {
  CookieStore store;
  Cookie root = MakeCookie("sid", "1", ".Shop.TEST");  // normalised to shop.test
  Cookie other_path = MakeCookie("sid", "2");
  other_path.path = "/app";
  Cookie other_domain = MakeCookie("sid", "3", "cards.shop.test");
  store.Apply(CookieSource::kFile, {{root, false}, {other_path, false}, {other_domain, false}});
  ASSERT_EQ(store.Snapshot().size(), 3u);
  EXPECT_EQ(store.Snapshot()[0].domain, "shop.test");

  Cookie replacement = MakeCookie("sid", "4");
  replacement.host_only = false;
  store.Apply(CookieSource::kHttp, {{replacement, false}});
  std::vector<Cookie> held = store.Snapshot();
  ASSERT_EQ(held.size(), 3u);
  EXPECT_EQ(held[0].value, "4");
  EXPECT_FALSE(held[0].host_only);
}

TEST(CookieStoreTest, ExpiredCookiesLeaveSnapshotsAndSettingOneDeletes) {
  CookieStore store;
  const int64_t now = 2'000'000'000;
  Cookie session = MakeCookie("session", "s");  // expires 0: never by time
  Cookie lasting = MakeCookie("lasting", "l");
  lasting.expires = now + 10;
  store.Apply(CookieSource::kFile, {{session, false}, {lasting, false}});
  EXPECT_EQ(store.Snapshot(now).size(), 2u);
  EXPECT_EQ(store.Snapshot(now + 10).size(), 1u);  // expiry time reached
  EXPECT_EQ(store.Snapshot(now + 10)[0].name, "session");

  Recorder recorder;
  recorder.Attach(store);
  Cookie expired = session;
  expired.expires = 1;  // in the past: a deletion, as a browser takes it
  store.Apply(CookieSource::kHttp, {{expired, false}});
  ASSERT_EQ(recorder.calls.size(), 1u);
  EXPECT_TRUE(recorder.calls[0].changes[0].removed);
  EXPECT_EQ(store.Snapshot(now).size(), 1u);
  EXPECT_EQ(store.Snapshot(now)[0].name, "lasting");
}

TEST(CookieStoreTest, ReplaceAllIsOneChangeWithExactlyTheDifference) {
  CookieStore store;
  Cookie a = MakeCookie("a", "1"), b = MakeCookie("b", "1"), c = MakeCookie("c", "1");
  store.Apply(CookieSource::kBrowser, {{a, false}, {b, false}});
  Recorder recorder;
  recorder.Attach(store);

  Cookie b2 = b;
  b2.value = "2";
  store.ReplaceAll(CookieSource::kFile, {b2, c});
  ASSERT_EQ(recorder.calls.size(), 1u);
  EXPECT_EQ(recorder.calls[0].source, CookieSource::kFile);
  const std::vector<CookieChange>& changes = recorder.calls[0].changes;
  ASSERT_EQ(changes.size(), 3u);
  EXPECT_TRUE(changes[0].removed);
  EXPECT_EQ(changes[0].cookie.name, "a");
  EXPECT_EQ(changes[1].cookie, b2);
  EXPECT_EQ(changes[2].cookie, c);
  EXPECT_EQ(store.Snapshot(), (std::vector<Cookie>{b2, c}));

  store.ReplaceAll(CookieSource::kFile, {b2, c});  // nothing to change
  EXPECT_EQ(recorder.calls.size(), 1u);
  store.ReplaceAll(CookieSource::kFile, {});
  ASSERT_EQ(recorder.calls.size(), 2u);
  EXPECT_EQ(recorder.calls[1].changes.size(), 2u);
  EXPECT_TRUE(store.Snapshot().empty());
}

TEST(CookieStoreTest, NonBrowserChangesCountsOnlyOtherSourcesThatChangedSomething) {
  CookieStore store;
  EXPECT_EQ(store.NonBrowserChanges(), 0u);
  store.Apply(CookieSource::kBrowser, {{MakeCookie("a", "1"), false}});
  EXPECT_EQ(store.NonBrowserChanges(), 0u);
  store.Apply(CookieSource::kHttp, {{MakeCookie("a", "2"), false}});
  const uint64_t after_http = store.NonBrowserChanges();
  EXPECT_GT(after_http, 0u);
  store.Apply(CookieSource::kHttp, {{MakeCookie("a", "2"), false}});  // no change
  EXPECT_EQ(store.NonBrowserChanges(), after_http);
  store.ReplaceAll(CookieSource::kFile, {});
  EXPECT_GT(store.NonBrowserChanges(), after_http);
}

// A snapshot of the browser pane taken before a lookup set a cookie must not
// take that cookie away again.
TEST(CookieStoreTest, ReplaceAllIfUnchangedRefusesASnapshotOvertakenByOtherChanges) {
  CookieStore store;
  const Cookie pane_cookie = MakeCookie("login", "1");
  store.Apply(CookieSource::kBrowser, {{pane_cookie, false}});
  const uint64_t asked_at = store.NonBrowserChanges();
  const Cookie from_lookup = MakeCookie("session", "x");
  store.Apply(CookieSource::kHttp, {{from_lookup, false}});

  EXPECT_FALSE(store.ReplaceAllIfUnchanged(CookieSource::kBrowser, {pane_cookie}, asked_at));
  EXPECT_EQ(store.Snapshot(), (std::vector<Cookie>{pane_cookie, from_lookup}));

  EXPECT_TRUE(store.ReplaceAllIfUnchanged(CookieSource::kBrowser, {from_lookup},
                                          store.NonBrowserChanges()));
  EXPECT_EQ(store.Snapshot(), (std::vector<Cookie>{from_lookup}));
}

TEST(CookieStoreTest, ObserverMayUseTheStoreAndRunsOnTheChangingThread) {
  CookieStore store;
  std::vector<Cookie> seen;
  std::thread::id observer_thread;
  store.SetObserver([&](CookieSource, const std::vector<CookieChange>&) {
    observer_thread = std::this_thread::get_id();
    seen = store.Snapshot();  // would deadlock if the lock were still held
  });
  std::thread worker([&] { store.Apply(CookieSource::kHttp, {{MakeCookie("a", "1"), false}}); });
  const std::thread::id worker_id = worker.get_id();
  worker.join();
  EXPECT_EQ(observer_thread, worker_id);
  ASSERT_EQ(seen.size(), 1u);

  store.SetObserver({});  // removed: changes go unheard
  store.Apply(CookieSource::kHttp, {{MakeCookie("b", "1"), false}});
  EXPECT_EQ(seen.size(), 1u);
}

TEST(CookieStoreTest, ConcurrentWritersAndReadersKeepEveryCookie) {
  CookieStore store;
  constexpr int kThreads = 4, kCookies = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&store, t] {
      for (int i = 0; i < kCookies; ++i) {
        store.Apply(CookieSource::kHttp,
                    {{MakeCookie("c" + std::to_string(t) + "_" + std::to_string(i), "v"), false}});
        (void)store.Snapshot();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(store.Snapshot().size(), size_t{kThreads * kCookies});
}

}  // namespace
}  // namespace morvellin
