// Page decoding on large pages without the network: UTF-8 to GBK, GBK to
// UTF-8 and the buyer-ID search, over 10 MB of mostly-ASCII HTML with Chinese
// text runs, through the public conversions and through the in-place ones
// that a lookup runs.
// Run: build/bench/text_bench
#include <benchmark/benchmark.h>

#include <string>

#include "lookup/charset.h"
#include "lookup/charset_buffers.h"
#include "lookup/pattern_matcher.h"

namespace {

using namespace morvellin;

constexpr size_t kPageBytes = 10'000'000;

std::string Repeat(const std::string& line) {
  std::string page;
  while (page.size() < kPageBytes) page += line;
  return page;
}

// HTML lines with a short Chinese run and a yen sign, about 15% non-ASCII.
const std::string& MixedUtf8Page() {
  static const std::string page = Repeat(
      "<div class=\"item\"><a href=\"//x\">\xE4\xB8\xAD\xE6\x96\x87\xE5\x95\x86\xE5\x93\x81"
      "</a> \xC2\xA5 99</div>\r\n");
  return page;
}

const std::string& AsciiPage() {
  static const std::string page = Repeat(
      "<div class=\"item\"><a href=\"//item.taobao.com/item.htm?id=12345\">link</a></div>\r\n");
  return page;
}

void BM_Utf8ToGbk_Ascii(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ConvertCharset(AsciiPage()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * AsciiPage().size()));
}
BENCHMARK(BM_Utf8ToGbk_Ascii)->Unit(benchmark::kMillisecond);

void BM_Utf8ToGbk_Mixed(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ConvertCharset(MixedUtf8Page()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * MixedUtf8Page().size()));
}
BENCHMARK(BM_Utf8ToGbk_Mixed)->Unit(benchmark::kMillisecond);

// As FetchPage re-encodes a page, within the buffer it arrived in; the copy
// that stands for the arrival is not timed.
void BM_Utf8ToGbkInPlace_Mixed(benchmark::State& state) {
  std::string page;
  for (auto _ : state) {
    state.PauseTiming();
    page = MixedUtf8Page();
    state.ResumeTiming();
    Utf8ToGbkInPlace(&page);
    benchmark::DoNotOptimize(page);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * MixedUtf8Page().size()));
}
BENCHMARK(BM_Utf8ToGbkInPlace_Mixed)->Unit(benchmark::kMillisecond);

void BM_GbkToUtf8_Mixed(benchmark::State& state) {
  const std::string gbk = Utf8ToGbk(MixedUtf8Page());
  for (auto _ : state) benchmark::DoNotOptimize(GbkToUtf8(gbk));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * gbk.size()));
}
BENCHMARK(BM_GbkToUtf8_Mixed)->Unit(benchmark::kMillisecond);

// The lookup's search: the ID on the first line, then 10 MB more page.
void BM_BuyerIdSearch_Mixed(benchmark::State& state) {
  const std::string page = "<div data-buyerId=\"2200\">\n" + Utf8ToGbk(MixedUtf8Page());
  for (auto _ : state) {
    PatternMatcher matcher;
    matcher.Create("data-buyerId=\"(.*)\"", page);
    benchmark::DoNotOptimize(matcher.SubmatchText(1, 1));
  }
}
BENCHMARK(BM_BuyerIdSearch_Mixed)->Unit(benchmark::kMillisecond);

// The same with the ID on the last line: PCRE2 reads the whole page.
void BM_BuyerIdSearchAtEnd_Mixed(benchmark::State& state) {
  const std::string page = Utf8ToGbk(MixedUtf8Page()) + "<div data-buyerId=\"2200\">\n";
  for (auto _ : state) {
    PatternMatcher matcher;
    matcher.Create("data-buyerId=\"(.*)\"", page);
    benchmark::DoNotOptimize(matcher.SubmatchText(1, 1));
  }
}
BENCHMARK(BM_BuyerIdSearchAtEnd_Mixed)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
