// Whole-section load and save of a 1,000-key section, and object lookups.
#include "qxConfig.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr int keyCount = 1000;

// A file of three sections, the middle one with keyCount keys, in a fresh
// directory that serves as the configuration directory (system mode).
class BenchFile {
public:
    BenchFile() {
        root_ = std::filesystem::temp_directory_path() / ("qxcfg-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(root_ / "S" / "config");
        setenv("QX_ROOT", root_.c_str(), 1);
        setenv("QX_SYSTEM", "S", 1);
        path_ = (root_ / "S" / "config" / "bench.ini").string();
        std::ofstream out(path_, std::ios::binary);
        out << "[Before]\na=1\nb=2\n\n[Big]\n";
        for (int i = 0; i < keyCount; ++i) out << "Key" << i << "=value number " << i << " of the big section\n";
        out << "\n[After]\nc=3\n";
    }
    ~BenchFile() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::filesystem::path root_;
    std::string path_;
};

BenchFile& benchFile() {
    static BenchFile file;
    return file;
}

void BM_LoadSection(benchmark::State& state) {
    const std::string& path = benchFile().path();
    for (auto _ : state) {
        qxConfig::SectionMap map;
        qxConfig::loadSection(path, "Big", map);
        benchmark::DoNotOptimize(map);
    }
    state.SetItemsProcessed(state.iterations() * keyCount);
}
BENCHMARK(BM_LoadSection)->Unit(benchmark::kMicrosecond);

// Includes the lock, the rewrite of the whole file, the flush to disk and the rename.
void BM_SaveSection(benchmark::State& state) {
    const std::string& path = benchFile().path();
    qxConfig::SectionMap map;
    qxConfig::loadSection(path, "Big", map);
    for (auto _ : state) qxConfig::saveSection(path, "Big", map);
    state.SetItemsProcessed(state.iterations() * keyCount);
}
BENCHMARK(BM_SaveSection)->Unit(benchmark::kMicrosecond);

void BM_ObjectConstruct(benchmark::State& state) {
    benchFile();
    for (auto _ : state) {
        qxConfig object("bench.ini", "Big");
        benchmark::DoNotOptimize(object);
    }
}
BENCHMARK(BM_ObjectConstruct)->Unit(benchmark::kMicrosecond);

// The lookup ignores letter case, so it walks the map: cost grows with the key's position.
void BM_ObjectLookup(benchmark::State& state) {
    benchFile();
    qxConfig object("bench.ini", "Big");
    const std::string key = "KEY" + std::to_string(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(object.getString(key, "", false));
}
BENCHMARK(BM_ObjectLookup)->Arg(0)->Arg(500)->Arg(999)->Unit(benchmark::kNanosecond);

}  // namespace
