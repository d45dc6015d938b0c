// Page production costs of the data source: rendering a generated A4 page at
// the usual job formats and packing it as a native-transfer DIB.
#include "core/dssettings.h"
#include "core/pagerender.h"

#include <benchmark/benchmark.h>

namespace {

void BM_RenderA4(benchmark::State& state) {
    vx410ds::ScanFormat f;
    f.m_nPixelType = int(state.range(0));
    f.m_nXRes = f.m_nYRes = int(state.range(1));
    vx410ds::PageInches(vx410ds::CDsSettings{}, f.m_dWidthIn, f.m_dLengthIn);
    vx410ds::ScannedPage page;
    int n = 0;
    for (auto _ : state) {
        vx410ds::RenderGenerated(f, ++n, page, nullptr);
        benchmark::DoNotOptimize(page.m_data.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.m_data.size()));
}
BENCHMARK(BM_RenderA4)
    ->Args({0, 300})
    ->Args({1, 300})
    ->Args({2, 200})
    ->Args({2, 300})
    ->Unit(benchmark::kMillisecond);

void BM_PackDib(benchmark::State& state) {
    vx410ds::ScanFormat f;
    f.m_nPixelType = 2;
    f.m_nXRes = f.m_nYRes = 300;
    vx410ds::PageInches(vx410ds::CDsSettings{}, f.m_dWidthIn, f.m_dLengthIn);
    vx410ds::ScannedPage page;
    vx410ds::RenderGenerated(f, 1, page, nullptr);
    for (auto _ : state) {
        auto dib = vx410ds::MakePackedDib(page, 300, 300);
        benchmark::DoNotOptimize(dib.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.m_data.size()));
}
BENCHMARK(BM_PackDib)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
