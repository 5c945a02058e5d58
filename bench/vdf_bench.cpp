// Parse and serialize throughput on generated files, next to memcpy of the same bytes.
// Run with --benchmark_repetitions=5 --benchmark_report_aggregates_only=true for medians.

#include <benchmark/benchmark.h>

#include <cstring>
#include <map>

#include "shortcut_corpus.hpp"

namespace {

const std::string& file_of(std::size_t entries) {
    static std::map<std::size_t, std::string> files;
    auto it = files.find(entries);
    if (it == files.end()) it = files.emplace(entries, ml::bench::generated_file(entries)).first;
    return it->second;
}

void set_counters(benchmark::State& state, const std::string& bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes.size()));
    state.counters["bytes_per_entry"] =
        static_cast<double>(bytes.size()) / static_cast<double>(state.range(0));
}

// The parse alone: the list is freed outside the timing, as a caller frees it later.
void BM_Parse(benchmark::State& state) {
    const std::string& bytes = file_of(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        auto list = ml::parse_shortcuts_vdf(bytes);
        if (!list) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(list);
        state.PauseTiming();
        list = std::vector<ml::SteamShortcut>{};
        state.ResumeTiming();
    }
    set_counters(state, bytes);
}

// The parse and the freeing of its list, back to back.
void BM_ParseAndFree(benchmark::State& state) {
    const std::string& bytes = file_of(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        auto list = ml::parse_shortcuts_vdf(bytes);
        if (!list) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(list);
    }
    set_counters(state, bytes);
}

void BM_Serialize(benchmark::State& state) {
    const std::string& bytes = file_of(static_cast<std::size_t>(state.range(0)));
    const auto list = ml::parse_shortcuts_vdf(bytes).value();
    for (auto _ : state) {
        std::string out = ml::serialize_shortcuts_vdf(list);
        benchmark::DoNotOptimize(out.data());
    }
    set_counters(state, bytes);
}

void BM_Memcpy(benchmark::State& state) {
    const std::string& bytes = file_of(static_cast<std::size_t>(state.range(0)));
    std::string copy(bytes.size(), '\0');
    for (auto _ : state) {
        std::memcpy(copy.data(), bytes.data(), bytes.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    set_counters(state, bytes);
}

}  // namespace

BENCHMARK(BM_Memcpy)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Parse)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseAndFree)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Serialize)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
