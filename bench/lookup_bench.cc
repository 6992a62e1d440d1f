// One LookupMemberId against a loopback trade-card server, for a 30 KB page
// and for a 10 MB page whose attribute stands at its end; beside it the same
// lookup as a shell would do it, curl piped into grep, against the same
// server, and under both the bare transfer of the page by libcurl. The
// lookups run first with glibc's default malloc policy, then with
// that of morvellin-lookup, which keeps freed memory for the next lookup.
// Run: build/bench/lookup_bench
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "lookup/member_lookup.h"
#include "lookup/memory_policy.h"
#include "tests/support/loopback_server.h"

namespace morvellin {
namespace {

constexpr char kBuyerId[] = "2208123456789";

// A trade-card page in UTF-8 of about `size` bytes: Chinese and ASCII mark-up
// lines, with the data-buyerId attribute after `attribute_at` bytes.
std::string TradeCardPage(size_t size, size_t attribute_at) {
  const std::string line =
      "<li class=\"order-item\"><span class=\"title\">\xe8\xae\xa2\xe5\x8d\x95 "
      "\xe5\xb7\xb2\xe5\x8f\x91\xe8\xb4\xa7</span><a href=\"/trade/detail.htm?id=3101\">"
      "\xe6\x9f\xa5\xe7\x9c\x8b\xe8\xaf\xa6\xe6\x83\x85</a></li>\n";
  const std::string attribute =
      "<div class=\"card\" data-nick=\"buyer\" data-buyerId=\"" + std::string(kBuyerId) + "\">\n";
  std::string page =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>\xe5\x90\x8d\xe7\x89\x87"
      "</title></head><body>\n";
  while (page.size() + line.size() <= attribute_at) page += line;
  page += attribute;
  while (page.size() + line.size() + 16 <= size) page += line;
  page += "</body></html>\n";
  return page;
}

// The server and the pages, made once for the whole run.
struct TradeCardServer {
  TradeCardServer()
      : small_page(TradeCardPage(30 * 1024, 12 * 1024)),
        big_page(TradeCardPage(10 * 1024 * 1024, 10 * 1024 * 1024 - 200)) {
    server.Handle("/tradecard/nameCard.htm",
                  [this](const httplib::Request& request, httplib::Response& response) {
                    const std::string* page =
                        request.get_param_value("uid") == "cntaobaobig" ? &big_page : &small_page;
                    response.set_content_provider(
                        page->size(), "text/html;charset=UTF-8",
                        [page](size_t offset, size_t length, httplib::DataSink& sink) {
                          sink.write(page->data() + offset, length);
                          return true;
                        });
                  });
  }
  std::string ConnectTo() const { return server.ConnectTo(kTradeCardHost, 80); }

  const std::string small_page;
  const std::string big_page;
  testing::LoopbackServer server;
};

TradeCardServer& Server() {
  static TradeCardServer* server = new TradeCardServer();
  return *server;
}

void BM_LookupMemberId(benchmark::State& state, const char* nickname) {
  FetchOptions options;
  options.connect_to = {Server().ConnectTo()};
  for (auto _ : state) {
    Text id = LookupMemberId(nickname, options);
    if (id != kBuyerId) {
      state.SkipWithError(("wrong ID: " + id).c_str());
      break;
    }
    benchmark::DoNotOptimize(id);
  }
}
BENCHMARK_CAPTURE(BM_LookupMemberId, page_30KB, "small")->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LookupMemberId, page_10MB, "big")->Unit(benchmark::kMillisecond)->UseRealTime();

// The transfer alone, as a floor under the lookup: the same page fetched by a
// bare libcurl handle into memory, one buffer of the announced length,
// nothing converted or searched.
size_t AppendBody(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<std::string*>(user);
  body->append(data, size * count);
  return size * count;
}

void BM_CurlTransferOnly(benchmark::State& state, const char* nickname) {
  const std::string url = LookupAddress(nickname);
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> connect_to(
      curl_slist_append(nullptr, Server().ConnectTo().c_str()), &curl_slist_free_all);
  const size_t expected_size =
      std::string_view(nickname) == "big" ? Server().big_page.size() : Server().small_page.size();
  for (auto _ : state) {
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    std::string body;
    body.reserve(expected_size);
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_CONNECT_TO, connect_to.get());
    curl_easy_setopt(curl.get(), CURLOPT_PROXY, "");
    curl_easy_setopt(curl.get(), CURLOPT_BUFFERSIZE, 512L * 1024);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &AppendBody);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
    CURLcode code = curl_easy_perform(curl.get());
    if (code != CURLE_OK || body.size() != expected_size) {
      state.SkipWithError(curl_easy_strerror(code));
      break;
    }
    benchmark::DoNotOptimize(body);
  }
}
BENCHMARK_CAPTURE(BM_CurlTransferOnly, page_30KB, "small")->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_CurlTransferOnly, page_10MB, "big")->Unit(benchmark::kMillisecond)->UseRealTime();

// curl -s URL | grep -o 'data-buyerId="[^"]*"', as a script would run it.
void BM_ShellPipeline(benchmark::State& state, const char* nickname) {
  const std::string command = "curl -q -s --noproxy '*' --connect-to " + Server().ConnectTo() +
                              " '" + LookupAddress(nickname) +
                              "' | grep -o 'data-buyerId=\"[^\"]*\"'";
  const std::string expected = "data-buyerId=\"" + std::string(kBuyerId) + "\"\n";
  for (auto _ : state) {
    std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), &pclose);
    std::string output;
    char block[256];
    for (size_t n; pipe && (n = fread(block, 1, sizeof block, pipe.get())) > 0;) {
      output.append(block, n);
    }
    if (output != expected) {
      state.SkipWithError(("wrong output: " + output).c_str());
      break;
    }
  }
}
BENCHMARK_CAPTURE(BM_ShellPipeline, page_30KB, "small")->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ShellPipeline, page_10MB, "big")->Unit(benchmark::kMillisecond)->UseRealTime();

// The malloc policy of morvellin-lookup. It cannot be undone, so these run
// last.
void KeepFreedMemory(const benchmark::State&) { KeepFreedMemoryForLookups(); }
BENCHMARK_CAPTURE(BM_LookupMemberId, page_30KB_memory_kept, "small")
    ->Setup(KeepFreedMemory)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LookupMemberId, page_10MB_memory_kept, "big")
    ->Setup(KeepFreedMemory)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace morvellin

BENCHMARK_MAIN();
