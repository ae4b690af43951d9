// Two workstations through a broker on loopback, seen from a client of
// workstation 2: a crosspoint on router 1 (owned by workstation 1) until its
// revertive arrives, against the same on router 2 (its own); revertives of a
// burst on workstation 1 delivered to the client through the broker; and the
// broker's CPU time per 1,000 state updates.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "BrokerProcess.h"
#include "OrqTestSupport.h"
#include "zorvText.h"

namespace {

constexpr int destinations = 1000;

struct Station {
    Station(int number, const std::string& broker) {
        for (int device : {1, 2}) {
            facility.write(formatText("dev_%03d.ini", device),
                           formatText("[Device]\nType=router\nName=Bench\nOwner=%d\nSources=64\nDestinations=%d\n",
                                      device, destinations));
        }
        orq::HubOptions options = orqtest::testOptions(facility);
        options.windowClass = "OrqBenchHub" + std::to_string(number);
        options.federation = {broker, "bench", number, {}, {}, {}, 10};
        hub = std::make_unique<orq::OrqHub>(options);
        hub->start();
        client.setHub(hub->window());
        client.join();
    }
    orqtest::Facility facility;
    std::unique_ptr<orq::OrqHub> hub;
    orqtest::FakeClient client{nullptr};
};

struct Facility {
    Facility() {
        broker.start();
        one = std::make_unique<Station>(1, broker.url());
        two = std::make_unique<Station>(2, broker.url());
        two->hub->waitFor([&] { return two->hub->deviceOnline(1); }, 20000);
    }
    fedtest::Broker broker;
    std::unique_ptr<Station> one, two;
};

// The broker's CPU time so far, in milliseconds.
double brokerCpuMs(unsigned long pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    unsigned long long ticks = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i) {
        if (i == 14 || i == 15) ticks += std::stoull(field);  // utime, stime (the name has no blanks)
    }
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void commandToRevertive(benchmark::State& state, int device) {
    Facility facility;
    orqtest::FakeClient& client = facility.two->client;
    client.registerRange(device, 1, 1);
    std::vector<double> micros;
    int source = 0;
    for (auto _ : state) {
        client.clear();
        source = source % 64 + 1;
        const auto start = std::chrono::steady_clock::now();
        client.command(2124, device, formatText("RC %d %d 1 '' 2", device, source));
        if (!orqtest::waitForDeliveries(*facility.two->hub, client, 2224, 1)) state.SkipWithError("no revertive");
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(micros.begin(), micros.end());
    state.counters["p50_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
}

void BM_RemoteCrosspointToRevertive(benchmark::State& state) { commandToRevertive(state, 1); }
BENCHMARK(BM_RemoteCrosspointToRevertive)->Iterations(2000)->UseRealTime();

void BM_LocalCrosspointToRevertive(benchmark::State& state) { commandToRevertive(state, 2); }
BENCHMARK(BM_LocalCrosspointToRevertive)->Iterations(2000)->UseRealTime();

// Workstation 1 switches every destination of router 1, from a client on a
// thread of its own (as it would be on another machine); the client of
// workstation 2 registered for all of them receives the revertives.
void BM_RevertivesThroughTheBroker(benchmark::State& state) {
    Facility facility;
    orqtest::FakeClient& remote = facility.two->client;
    remote.registerRange(1, 1, destinations);
    const HWND owner = facility.one->hub->window();
    const double cpuBefore = brokerCpuMs(facility.broker.processId());
    int round = 0;
    for (auto _ : state) {
        remote.clear();
        ++round;
        std::thread sender([owner, round] {
            orqtest::FakeClient local(owner);
            local.join();
            for (int destination = 1; destination <= destinations; ++destination) {
                local.command(2124, 1, formatText("RC 1 %d %d '' 1", round % 64 + 1, destination));
            }
        });
        const bool all = orqtest::waitForDeliveries(*facility.two->hub, remote, 2224, destinations);
        sender.join();
        if (!all) state.SkipWithError("revertives missing");
    }
    const double updates = static_cast<double>(state.iterations()) * destinations;
    state.SetItemsProcessed(static_cast<int64_t>(updates));
    state.counters["broker_cpu_ms_per_1000"] =
        (brokerCpuMs(facility.broker.processId()) - cpuBefore) * 1000.0 / updates;
}
BENCHMARK(BM_RevertivesThroughTheBroker)->Iterations(20)->UseRealTime();

// The same burst from one command: a poll of a router reports every
// destination at once, on workstation 1 for its router 1 (published, and
// delivered through the broker) or, as the reference, on workstation 2 for
// its own router 2.
void polledRevertives(benchmark::State& state, int device) {
    Facility facility;
    orqtest::FakeClient& remote = facility.two->client;
    remote.registerRange(device, 1, destinations);
    orqtest::FakeClient& poller = device == 1 ? facility.one->client : facility.two->client;
    for (auto _ : state) {
        remote.clear();
        poller.command(2124, device, formatText("RP %d 1 %d 1", device, destinations));
        if (!orqtest::waitForDeliveries(*facility.two->hub, remote, 2224, destinations)) {
            state.SkipWithError("revertives missing");
        }
    }
    state.SetItemsProcessed(state.iterations() * destinations);
}

void BM_PolledRevertivesThroughTheBroker(benchmark::State& state) { polledRevertives(state, 1); }
BENCHMARK(BM_PolledRevertivesThroughTheBroker)->Iterations(20)->UseRealTime();

void BM_PolledRevertivesLocal(benchmark::State& state) { polledRevertives(state, 2); }
BENCHMARK(BM_PolledRevertivesLocal)->Iterations(20)->UseRealTime();

}  // namespace
