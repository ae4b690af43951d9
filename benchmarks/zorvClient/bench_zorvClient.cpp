// What ZorvClient adds to the native client. Both clients are connected to
// one embedded hub at once, each to a router of its own, and every iteration
// times the same work on the native client and then on ZorvClient, so that
// both see the same load. Reported per item: native_ns, facade_ns and
// added_pct. The work: a crosspoint command (its mask a text argument), an
// infodriver write (a text to convert), and router revertives from the hub
// through the drain to one callback or to one event handler. Without the hub:
// the callback alone and through the bridge, and one text's conversion.
#include <benchmark/benchmark.h>
#include <qxplatform.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "OrqHub.h"
#include "ZorvClient.h"
#include "ZorvText.h"
#include "qxClient.h"
#include "unmanagedCallbacks.h"
#include "RevertiveCounter.h"

namespace ZorvClientLibrary {

// The bridge, as the native client sees it.
class ZorvClientProbe {
public:
    static IqxClientCallback& bridge(ZorvClient& client) { return *client.u; }
};

}  // namespace ZorvClientLibrary

namespace {

using namespace ZorvClientLibrary;

constexpr int nativeRouter = 1;
constexpr int facadeRouter = 2;
constexpr int infodriver = 3;
constexpr int destinations = 1000;

// Two routers of 1000 destinations and an infodriver.
class Hub {
public:
    Hub() {
        dir_ = std::filesystem::temp_directory_path() / ("qx-bench-zorv-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(dir_);
        std::ofstream(dir_ / "orq.ini") << "[Hub]\nHighestDevice=3\n";
        for (const char* file : {"dev_001.ini", "dev_002.ini"})
            std::ofstream(dir_ / file) << "[Device]\nType=router\nSources=16\nDestinations=" << destinations << "\n";
        std::ofstream(dir_ / "dev_003.ini") << "[Device]\nType=infodriver\nSlots=16\n";
        orq::HubOptions options;
        options.configDirectory = dir_.string();
        options.windowClass = "QxBenchZorvHub";
        hub_ = std::make_unique<orq::OrqHub>(options);
        hub_->start();
    }
    ~Hub() {
        hub_->stop();
        std::filesystem::remove_all(dir_);
    }

private:
    std::filesystem::path dir_;
    std::unique_ptr<orq::OrqHub> hub_;
};

using Counter = RevertiveCounter;

class Native {
public:
    Native() { client_.connect(qx::wm, 0); }
    void registerRouter() { client_.revertiveRegister(nativeRouter, 1, destinations, true, qx::RP); }
    long revertives() const { return counter_.revertives; }
    void crosspoint(int destination) { client_.routerCrosspoint(nativeRouter, destination, 7, ",---", true, 0); }
    void write(int slot) { client_.infoWrite(infodriver, slot, "on air", true, 0); }
    void pollRouter() { client_.routerPoll(nativeRouter, 1, destinations, true); }

private:
    Counter counter_;
    qxClient client_{&counter_, "qxClient"};
};

class Facade {
public:
    Facade() {
        client_.RouterRevertiveEvent += [this](uint, uint, int) { ++revertives_; };
        client_.connect(IpcType::wm);
    }
    void registerRouter() { client_.revertiveRegister(facadeRouter, 1, destinations, true, PollType::RP); }
    long revertives() const { return revertives_; }
    void crosspoint(int destination) { client_.routerCrosspoint(facadeRouter, destination, 7, u",---", true); }
    void write(int slot) { client_.infoWrite(infodriver, slot, u"on air", true); }
    void pollRouter() { client_.routerPoll(facadeRouter, 1, destinations, true); }

private:
    long revertives_ = 0;
    ZorvClient client_;
};

double seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs `work` on both clients every iteration; `items` per call. Only the
// revertive benchmark registers, so that commands cause no revertives.
template <typename Work>
void paired(benchmark::State& state, int items, Work work, bool registered = false) {
    Hub hub;
    Native native;
    Facade facade;
    if (registered) {
        native.registerRouter();
        facade.registerRouter();
    }
    double nativeTime = 0, facadeTime = 0;
    for (auto _ : state) {
        nativeTime += seconds([&] { work(native); });
        facadeTime += seconds([&] { work(facade); });
    }
    const double count = static_cast<double>(state.iterations()) * items;
    state.counters["native_ns"] = nativeTime / count * 1e9;
    state.counters["facade_ns"] = facadeTime / count * 1e9;
    state.counters["added_pct"] = (facadeTime - nativeTime) / nativeTime * 100;
}

void BM_Crosspoint(benchmark::State& state) {
    int destination = 0;
    paired(state, 1, [&](auto& client) { client.crosspoint(destination++ % destinations + 1); });
}
BENCHMARK(BM_Crosspoint)->UseRealTime();

void BM_InfoWrite(benchmark::State& state) {
    int slot = 0;
    paired(state, 1, [&](auto& client) { client.write(slot++ % 16 + 1); });
}
BENCHMARK(BM_InfoWrite)->UseRealTime();

// A poll of the whole router: 1000 revertives, each one exchange between
// the hub's thread and ours, then the drain and one receiver.
void BM_RouterRevertive(benchmark::State& state) {
    paired(state, destinations, [&](auto& client) {
        const long target = client.revertives() + destinations;
        client.pollRouter();
        if (!qxplatform::pumpUntil([&] { return client.revertives() >= target; }, 10000))
            state.SkipWithError("revertives missing");
    }, true);
}
BENCHMARK(BM_RouterRevertive)->UseRealTime()->Unit(benchmark::kMillisecond);

// The part of a revertive's road that ZorvClient adds, without the hub: the
// native client's call of its callback, and the same call through the bridge,
// the receiver and the event to one handler.
void BM_NativeCallback(benchmark::State& state) {
    Counter counter;
    IqxClientCallback* callback = &counter;
    benchmark::DoNotOptimize(callback);
    for (auto _ : state) callback->routerRevertive(nativeRouter, 5, 7);
    benchmark::DoNotOptimize(counter.revertives);
}
BENCHMARK(BM_NativeCallback);

void BM_FacadeCallback(benchmark::State& state) {
    ZorvClient client;
    long revertives = 0;
    client.RouterRevertiveEvent += [&](uint, uint, int) { ++revertives; };
    IqxClientCallback* callback = &ZorvClientProbe::bridge(client);
    benchmark::DoNotOptimize(callback);
    for (auto _ : state) callback->routerRevertive(facadeRouter, 5, 7);
    benchmark::DoNotOptimize(revertives);
}
BENCHMARK(BM_FacadeCallback);

// What a command with a text argument adds: the text's conversion.
void BM_TextConversion(benchmark::State& state) {
    const String mask = u",---";
    for (auto _ : state) benchmark::DoNotOptimize(text(mask));
}
BENCHMARK(BM_TextConversion);

}  // namespace
