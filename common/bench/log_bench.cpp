// Run log cost per line: formatting, prefix, and the open-append-close write
// (the log reopens its file for every line so that nothing is lost on a crash).
#include <benchmark/benchmark.h>
#include "common/portable/LogCore.h"
#include <cstdio>
#include <unistd.h>

static void BM_FormatAndPrefix(benchmark::State& state) {
    vlm::LogTime t{2024, 1, 2, 3, 4, 5, 6};
    for (auto _ : state) {
        std::string text = vlm::LogFormat("CJobDlg::OnPageScanned(0x%x, 0x%x) start", 0x8001, 42);
        std::string prefix = vlm::LogLinePrefix(t, "Taskdeck", 0x1234);
        benchmark::DoNotOptimize(text);
        benchmark::DoNotOptimize(prefix);
    }
}
BENCHMARK(BM_FormatAndPrefix);

static void BM_WriteLine(benchmark::State& state) {
    vlm::CStdioLogFileOps ops;
    std::string path = "/tmp/log_bench_" + std::to_string(getpid()) + ".log";
    std::string text(static_cast<size_t>(state.range(0)), 'x');
    for (auto _ : state)
        vlm::LogWriteLine(ops, path, "2024/01/02 03:04:05.006  [Taskdeck:00001234]  ", text);
    state.SetBytesProcessed(state.iterations() * state.range(0));
    for (int n = 0; n < vlm::kLogKeptFiles; ++n)
        std::remove(vlm::LogNumberedName(path, n).c_str());
    std::remove(path.c_str());
}
// Includes rotations: 512 KiB every few thousand lines.
BENCHMARK(BM_WriteLine)->Arg(40)->Arg(1000);

BENCHMARK_MAIN();
