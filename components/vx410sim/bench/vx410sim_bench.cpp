// Speed of the simulator's hot paths: page generation (called per page by
// the data source), image file reading, and one command block round trip
// through the locked state file (called per devlink command).
#include "pagegen.h"
#include "vx410sim.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>

using namespace vx410sim;

namespace {

constexpr int kA4Width300 = 2480, kA4Height300 = 3508;

void BM_GeneratePageA4(benchmark::State& state) {
    const int bpp = int(state.range(0));
    int page = 1;
    for (auto _ : state) {
        auto p = GeneratePage(kA4Width300, kA4Height300, bpp, 300, page++);
        benchmark::DoNotOptimize(p.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) *
                            int64_t(RowBytes(kA4Width300, bpp) * kA4Height300));
}
BENCHMARK(BM_GeneratePageA4)->Arg(1)->Arg(8)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_ReadPgmA4(benchmark::State& state) {
    const auto pixels = GeneratePage(kA4Width300, kA4Height300, 8, 300, 1);
    std::string file = "P5\n2480 3508\n255\n";
    file.append(reinterpret_cast<const char*>(pixels.data()), pixels.size());
    for (auto _ : state) {
        PageImage img;
        benchmark::DoNotOptimize(
            ReadImageMemory(reinterpret_cast<const uint8_t*>(file.data()), file.size(), img));
    }
}
BENCHMARK(BM_ReadPgmA4)->Unit(benchmark::kMillisecond);

void BM_LoadCheckRoundTrip(benchmark::State& state) {
    const auto dir = std::filesystem::temp_directory_path() / "vx410sim-bench";
    std::filesystem::create_directories(dir);
    CSimDevice dev(dir.string());
    dev.ClearAll();
    dev.FeedGenerated(1);
    const uint8_t cdb[10] = {0x31, 0x01};
    for (auto _ : state) {
        SenseData sense;
        benchmark::DoNotOptimize(ExecuteBlock(dev, Phase::None, cdb, 10, nullptr, 0, &sense));
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LoadCheckRoundTrip)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
