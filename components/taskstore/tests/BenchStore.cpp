// Cost of reading and writing a full store: 99 jobs with driver settings
// blocks, the size a real installation reaches.
#include "RegText.h"
#include "TestProtector.h"

#include <benchmark/benchmark.h>

using namespace taskstore;

static CStoreData FullStore() {
    CStoreData d;
    CModelData& m = d.Model("VX-410");
    for (int i = 0; i < 5; ++i)
        m.m_common["MonitorPath" + std::to_string(i)] = CTaskValue::Text(u"C:\\Scans\\Watched");
    for (int n = 1; n <= 99; ++n) {
        CValueMap& job = m.m_jobs[n];
        job["title"] =
            CTaskValue::Text(u"Job title number " + std::u16string(1, char16_t('0' + n % 10)));
        job["function id"] = CTaskValue::Integer(kVtI4, n % 5);
        job["save"] = CTaskValue::Integer(kVtI2, 1);
        job["save_path"] = CTaskValue::Text(u"\\\\server\\share\\scans");
        job["password"] = CTaskValue::Text(u"secret");
        job["driver"] = CTaskValue::Bytes(std::vector<uint8_t>(12000, uint8_t(n))); // settings text
        job["devmode"] = CTaskValue::Bytes(std::vector<uint8_t>(1200, 7));
    }
    return d;
}

static void BM_FormatFullStore(benchmark::State& state) {
    CStoreData d = FullStore();
    CTestProtector prot;
    std::string text;
    CRegError err;
    for (auto _ : state) {
        FormatRegText(d, text, err, &prot);
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["file_bytes"] = double(text.size());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_FormatFullStore)->Unit(benchmark::kMillisecond);

static void BM_ParseFullStore(benchmark::State& state) {
    CTestProtector prot;
    std::string text;
    CRegError err;
    FormatRegText(FullStore(), text, err, &prot);
    for (auto _ : state) {
        CStoreData d;
        ParseRegText(text, d, err, &prot);
        benchmark::DoNotOptimize(&d);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_ParseFullStore)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
