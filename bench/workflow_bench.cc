// The button handlers at the sizes users give them: importing a 100,000-line
// nickname file into 编辑框3 and the list, and a batch run of 100 entries with
// the real 200 ms pause against a loopback trade-card server.
//
// Heap figures count what C++ allocates (operator new); iconv, curl and PCRE2
// allocate beside it and show only in the process's peak resident size.
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include <benchmark/benchmark.h>

#include "lookup/charset.h"
#include "lookup/cookie_store.h"
#include "lookup/member_lookup.h"
#include "tests/support/loopback_server.h"
#include "tests/workflow/fake_toolkit.h"
#include "tests/support/temp_folder.h"
#include "ui/nickname_workflow.h"

namespace {

std::atomic<size_t> live_heap_bytes{0};
std::atomic<size_t> peak_heap_bytes{0};

void CountAllocation(void* block) {
  const size_t live = live_heap_bytes += malloc_usable_size(block);
  size_t peak = peak_heap_bytes.load();
  while (live > peak && !peak_heap_bytes.compare_exchange_weak(peak, live)) {
  }
}

}  // namespace

// Kept out of line: inlined into a caller, GCC would pair its `new` with the
// free() below and warn of a mismatch.
[[gnu::noinline]] void* operator new(size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  CountAllocation(block);
  return block;
}

[[gnu::noinline]] void operator delete(void* block) noexcept {
  if (block == nullptr) return;
  live_heap_bytes -= malloc_usable_size(block);
  std::free(block);
}

void operator delete(void* block, size_t) noexcept { operator delete(block); }

namespace morvellin {
namespace {

constexpr int kImportLines = 100'000;

long PeakResidentKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// A nickname file as sellers have them: Chinese and ASCII mixed, GBK with
// CR LF (arg 0) or UTF-8 with LF (arg 1).
std::string NicknameFile(bool utf8_lf) {
  std::string file;
  for (int i = 0; i < kImportLines; ++i) {
    file += "旺旺买家_tb" + std::to_string(100000 + i) + (utf8_lf ? "\n" : "\r\n");
  }
  return utf8_lf ? file : Utf8ToGbk(file);
}

void BM_ImportNicknameFile(benchmark::State& state) {
  const bool utf8_lf = state.range(0) == 1;
  testing::TempFolder dir;
  const std::string file = NicknameFile(utf8_lf);
  const Text path = Utf8ToGbk(dir.WriteFile("names.txt", file));

  size_t peak_delta = 0;
  size_t retained = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto toolkit = std::make_unique<FakeToolkit>();
    toolkit->keep_log = false;
    toolkit->dialog_answers.push_back(path);
    auto workflow = std::make_unique<NicknameWorkflow>(*toolkit, [](const Text&) { return Text(); });
    const size_t before = live_heap_bytes;
    peak_heap_bytes = before;
    state.ResumeTiming();

    workflow->ImportNicknameFile();

    state.PauseTiming();
    if (workflow->NicknameCount() != kImportLines) state.SkipWithError("wrong count");
    peak_delta = std::max(peak_delta, peak_heap_bytes - before);
    retained = live_heap_bytes - before;
    workflow.reset();
    toolkit.reset();
    state.ResumeTiming();
  }
  state.counters["file_bytes"] = static_cast<double>(file.size());
  state.counters["heap_peak_bytes"] = static_cast<double>(peak_delta);
  state.counters["heap_kept_bytes"] = static_cast<double>(retained);
  state.counters["process_peak_rss_kib"] = static_cast<double>(PeakResidentKib());
  state.SetItemsProcessed(state.iterations() * kImportLines);
}
BENCHMARK(BM_ImportNicknameFile)->ArgName("utf8_lf")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

constexpr int kRunEntries = 100;

void BM_BatchRunWithPause(benchmark::State& state) {
  // The trade-card service, answering with a small page that holds an ID.
  testing::LoopbackServer server;
  server.Handle("/tradecard/nameCard.htm", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(
        "<html><body><div class=\"card\" data-buyerId=\"2200123456\"></div></body></html>",
        "text/html; charset=GBK");
  });
  CookieStore cookies;
  FetchOptions options;
  options.cookies = &cookies;
  options.connect_to = {server.ConnectTo(kTradeCardHost)};

  testing::TempFolder dir;
  std::string file;
  for (int i = 0; i < kRunEntries; ++i) file += "buyer" + std::to_string(i) + "\r\n";
  const Text path = dir.WriteFile("names.txt", file);

  FakeToolkit toolkit;
  toolkit.real_sleep = true;
  toolkit.keep_log = false;
  int found = 0;
  NicknameWorkflow workflow(toolkit, [&](const Text& nickname) {
    Text id = LookupMemberId(nickname, options);
    if (!id.empty()) ++found;
    return id;
  });
  toolkit.dialog_answers.push_back(path);
  workflow.ImportNicknameFile();

  double wall_seconds = 0;
  double worst_ratio = 0;
  const double pauses_seconds = kRunEntries * kPauseAfterLookupMilliseconds / 1000.0;
  for (auto _ : state) {
    toolkit.texts.clear();
    found = 0;
    const auto start = std::chrono::steady_clock::now();
    workflow.RunBatchLookup();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (found != kRunEntries) state.SkipWithError("a lookup found no buyer ID");
    wall_seconds += elapsed.count();
    worst_ratio = std::max(worst_ratio, elapsed.count() / pauses_seconds);
  }
  state.counters["wall_over_pauses"] = wall_seconds / (state.iterations() * pauses_seconds);
  state.counters["worst_wall_over_pauses"] = worst_ratio;
}
BENCHMARK(BM_BatchRunWithPause)->Iterations(3)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace morvellin

BENCHMARK_MAIN();
