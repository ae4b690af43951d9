// The client against the embedded hub: one request and reply, commands per
// second, and revertives per second from the hub through the drain to the
// callback.
#include <benchmark/benchmark.h>
#include <qxplatform.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "OrqHub.h"
#include "qxClient.h"
#include "RevertiveCounter.h"

namespace {

constexpr int destinations = 1000;

using Counter = RevertiveCounter;

// A hub with one router of 1000 destinations, and one connected client.
class Bench {
public:
    explicit Bench(qx::ipcType ipc) {
        dir_ = std::filesystem::temp_directory_path() / ("qx-bench-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(dir_);
        std::ofstream(dir_ / "orq.ini") << "[Hub]\nHighestDevice=1\n";
        std::ofstream(dir_ / "dev_001.ini") << "[Device]\nType=router\nSources=16\nDestinations=" << destinations
                                            << "\n";
        orq::HubOptions options;
        options.configDirectory = dir_.string();
        options.windowClass = "QxBenchHub";
        hub_ = std::make_unique<orq::OrqHub>(options);
        hub_->start();
        client = std::make_unique<qxClient>(&events, "qxClient");
        client->connect(ipc, 0);
    }
    ~Bench() {
        client.reset();
        hub_->stop();
        std::filesystem::remove_all(dir_);
    }
    Counter events;
    std::unique_ptr<qxClient> client;

private:
    std::filesystem::path dir_;
    std::unique_ptr<orq::OrqHub> hub_;
};

void BM_SendTextExchange(benchmark::State& state) {
    Bench bench(static_cast<qx::ipcType>(state.range(0)));
    for (auto _ : state) {
        std::string value;
        benchmark::DoNotOptimize(bench.client->cacheValue(1, 1, value));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SendTextExchange)->Arg(qx::wm)->Arg(qx::zel)->UseRealTime();

void BM_Commands(benchmark::State& state) {
    Bench bench(static_cast<qx::ipcType>(state.range(0)));
    int destination = 0;
    for (auto _ : state) {
        bench.client->routerCrosspoint(1, destination % destinations + 1, destination % 16 + 1, ",---", true, 0);
        ++destination;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Commands)->Arg(qx::wm)->Arg(qx::zel)->UseRealTime();

// Each iteration polls the whole router: the hub answers with one revertive
// per destination, each one exchange between the hub's thread and ours.
void BM_Revertives(benchmark::State& state) {
    Bench bench(static_cast<qx::ipcType>(state.range(0)));
    bench.client->revertiveRegister(1, 1, destinations, true, qx::RP);
    for (auto _ : state) {
        const long target = bench.events.revertives + destinations;
        bench.client->routerPoll(1, 1, destinations, true);
        if (!qxplatform::pumpUntil([&] { return bench.events.revertives >= target; }, 10000)) {
            state.SkipWithError("revertives missing");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * destinations);
}
BENCHMARK(BM_Revertives)->Arg(qx::wm)->Arg(qx::zel)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
