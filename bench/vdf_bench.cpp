// Parse and serialize throughput on generated files, next to memcpy of the same bytes, and
// whole-file round trips: the product's (owned records, a string) and vdftool's (the file
// read whole, the view, the streaming writer into a new file). 6,242 entries is the largest
// real file known. Run with --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// for medians.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "shortcut_corpus.hpp"
#include "vdf/shortcuts_vdf_view.hpp"
#include "vdf_files.hpp"

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

// A parse and the freeing of what it made, back to back: the owned list or the view.
template <auto parse>
void BM_ParseWhole(benchmark::State& state) {
    const std::string& bytes = file_of(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        auto parsed = parse(bytes);
        if (!parsed) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(parsed);
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

// The streamed write of a view to a sink that forgets the bytes.
class Discard final : public ml::VdfSink {
  public:
    bool write(std::string_view bytes) override {
        benchmark::DoNotOptimize(bytes.data());
        return true;
    }
};

void BM_StreamView(benchmark::State& state) {
    const std::string& bytes = file_of(static_cast<std::size_t>(state.range(0)));
    const auto view = ml::parse_shortcuts_vdf_view(bytes).value();
    Discard sink;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ml::write_shortcuts_vdf(view, sink));
    }
    set_counters(state, bytes);
}

// The product's round trip in memory: owned records from the bytes, the new file's bytes.
void BM_RoundTripOwned(benchmark::State& state) {
    const std::string& bytes = file_of(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        const auto list = ml::parse_shortcuts_vdf(bytes);
        if (!list) state.SkipWithError("parse failed");
        std::string out = ml::serialize_shortcuts_vdf(*list);
        benchmark::DoNotOptimize(out.data());
    }
    set_counters(state, bytes);
}

// A folder for the files of the file round trip, removed at exit.
class BenchFolder {
  public:
    BenchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vdf-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~BenchFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    std::filesystem::path path_;
};

// vdftool roundtrip without the process: read the file, parse the view, stream the new
// file beside the output and move it into place (the output exists, as it does when a
// file is rewritten).
void BM_RoundTripFile(benchmark::State& state) {
    static BenchFolder folder;
    const std::string& bytes = file_of(static_cast<std::size_t>(state.range(0)));
    const std::string in = (folder.path_ / ("in-" + std::to_string(state.range(0)))).string();
    const std::string out = in + ".out";
    std::ofstream(in, std::ios::binary) << bytes;
    std::ofstream(out, std::ios::binary) << bytes;
    for (auto _ : state) {
        ml::tools::FileBytes file;
        if (!file.open(in.c_str()).empty()) state.SkipWithError("cannot read");
        const auto view = ml::parse_shortcuts_vdf_view(file.bytes());
        if (!view) state.SkipWithError("parse failed");
        if (ml::tools::write_file_replacing(out.c_str(), *view) != 0) {
            state.SkipWithError("cannot write");
        }
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
BENCHMARK(BM_ParseWhole<&ml::parse_shortcuts_vdf>)
    ->Name("BM_ParseAndFree")
    ->Arg(100)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Serialize)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseWhole<&ml::parse_shortcuts_vdf_view>)
    ->Name("BM_ParseView")
    ->Arg(100)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StreamView)->Arg(100)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RoundTripOwned)->Arg(6242)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RoundTripFile)->Arg(6242)->Arg(100000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
