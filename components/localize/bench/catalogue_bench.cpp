// Catalogue load and lookup cost with a catalogue of realistic size.
#include <benchmark/benchmark.h>
#include "components/localize/Catalogue.h"

static std::string MakeCatalogue(int entries) {
    std::string text = "[0407]\n";
    for (int i = 0; i < entries; ++i)
        text += "English message number " + std::to_string(i) +
                " with some words = Deutsche Meldung " + std::to_string(i) + "\n";
    return text;
}

static void BM_Parse(benchmark::State& state) {
    std::string text = MakeCatalogue(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        vlm::CCatalogue c;
        benchmark::DoNotOptimize(c.AddText(text));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_Parse)->Arg(100)->Arg(2000);

static void BM_Lookup(benchmark::State& state) {
    vlm::CCatalogue c;
    c.AddText(MakeCatalogue(2000));
    std::string hit = "English message number 1234 with some words";
    std::string miss = "Not in the catalogue at all";
    for (auto _ : state) {
        benchmark::DoNotOptimize(c.Find(0x0407, hit));
        benchmark::DoNotOptimize(c.Find(0x0807, miss)); // falls back over sections
    }
}
BENCHMARK(BM_Lookup);

BENCHMARK_MAIN();
