// Page assembly speed: an A4 colour page at 300 dpi received in strips into
// one reservation, starting from an announced length that is too short, and
// the 2 x 2 split of that page.
#include <benchmark/benchmark.h>

#include <vector>

#include "Bunkatsu.h"
#include "PageAssembler.h"

namespace {

constexpr int kWidth = 2480, kHeight = 3508, kStripRows = 64;

void BM_AssembleGrowingPage(benchmark::State& state) {
    const uint32_t rowBytes = kWidth * 3;
    std::vector<uint8_t> strip(size_t(rowBytes) * kStripRows, 0x5A);
    const int announced = static_cast<int>(state.range(0));
    for (auto _ : state) {
        VlmImageInfo info{};
        CPageAssembler pa(info);
        pa.Ready(kWidth, announced, 24, 3, 300, 300, kWidth, kHeight);
        uint32_t rows = 0;
        while (rows < kHeight) {
            SMemStrip s;
            s.Rows = std::min<uint32_t>(kStripRows, kHeight - rows);
            s.BytesPerRow = rowBytes;
            s.pData = strip.data();
            if (rows + s.Rows > static_cast<uint32_t>(info.Height))
                pa.BufferEx(rows, s, true);
            else
                pa.Buffer(rows, s, true);
            rows += s.Rows;
        }
        pa.PreDone(rows);
        benchmark::DoNotOptimize(info.lpImage);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * rowBytes * kHeight);
}
// Announced length: right, a tenth, unknown.
BENCHMARK(BM_AssembleGrowingPage)
    ->Arg(kHeight)
    ->Arg(kHeight / 10)
    ->Arg(-1)
    ->Unit(benchmark::kMillisecond);

void BM_SplitTwoByTwo(benchmark::State& state) {
    VlmImageInfo info{};
    CPageAssembler pa(info);
    pa.Ready(kWidth, kHeight, 24, 3, 300, 300, 0, 0);
    for (auto _ : state) {
        CBunkatsu b(2, 2, 0, 0);
        benchmark::DoNotOptimize(b.Split(info));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * info.ImageSize);
}
BENCHMARK(BM_SplitTwoByTwo)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
