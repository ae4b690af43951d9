// What one exchange with the hub costs, seen from a client thread: a plain
// message, a request with its reply, a command until its revertive arrives,
// and a poll of a whole router.
#include <benchmark/benchmark.h>

#include "OrqTestSupport.h"

namespace {

struct Bench {
    Bench() {
        facility.write("dev_001.ini", "[Device]\nType=router\nName=Bench\nSources=64\nDestinations=64\n");
        hub.start();
        client.setHub(hub.window());
        client.join();
        client.registerRange(1, 1, 64);
    }
    orqtest::Facility facility;
    orq::OrqHub hub{orqtest::testOptions(facility)};
    orqtest::FakeClient client{nullptr};
};

void BM_Probe(benchmark::State& state) {
    Bench bench;
    for (auto _ : state) benchmark::DoNotOptimize(bench.client.send(49552, 0x5555, 0));
}
BENCHMARK(BM_Probe);

void BM_RequestWithReply(benchmark::State& state) {
    Bench bench;
    char buffer[300];
    for (auto _ : state) {
        buffer[0] = 0;
        benchmark::DoNotOptimize(bench.client.request(2041, 1, buffer, sizeof buffer, sizeof buffer));
    }
}
BENCHMARK(BM_RequestWithReply);

void BM_CommandToRevertive(benchmark::State& state) {
    Bench bench;
    int source = 0;
    for (auto _ : state) {
        bench.client.clear();
        source = source % 64 + 1;
        bench.client.command(2124, 1, "RC 1 " + std::to_string(source) + " 1 ',---' 1");
        if (!orqtest::waitForDeliveries(bench.hub, bench.client, 2224, 1)) state.SkipWithError("no revertive");
    }
}
BENCHMARK(BM_CommandToRevertive);

void BM_PollOf64(benchmark::State& state) {
    Bench bench;
    for (auto _ : state) {
        bench.client.clear();
        bench.client.command(2124, 1, "RP 1 1 64 1");
        if (!orqtest::waitForDeliveries(bench.hub, bench.client, 2224, 64)) state.SkipWithError("no revertives");
    }
    state.SetItemsProcessed(state.iterations() * 64);
}
BENCHMARK(BM_PollOf64);

}  // namespace
