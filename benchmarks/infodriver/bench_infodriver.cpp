// The infodriver loop: slot writes per second from a driver, and the time
// from a client's write through the hub, the infodriver and its driver back
// to the client's revertive; with the hub's own infodriver write (no
// infodriver running) as the reference.
#include <benchmark/benchmark.h>
#include <qxplatform.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "InfodriverHost.h"
#include "OrqHub.h"
#include "qxClient.h"
#include "qxInfodriver.h"
#include "RevertiveCounter.h"

namespace {

constexpr int backed = 4;    // an infodriver runs for it
constexpr int unbacked = 5;  // the hub alone holds its slots

class Driver : public IqxInfodriverCallback {
public:
    qxInfodriver* self = nullptr;
    void slotWrite(int, int index, const std::string& text) override { self->setSlot(index, "ok " + text, true); }
    void deviceMessage(int, int, const std::string&, const std::string&, const std::string&) override {}
    void redundancyChange(int, qx::redundancyState) override {}
    void connected(int) override {}
    void disconnected(int) override {}
};

using Client = RevertiveCounter;

// A facility with two infodrivers, an infodriver for device 4 with one
// driver attached, and optionally the hub with one registered client.
class Bench {
public:
    Bench(qx::ipcType ipc, bool withHub) {
        dir_ = std::filesystem::temp_directory_path() / ("qx-bench-id-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(dir_);
        std::ofstream(dir_ / "orq.ini") << "[Hub]\nHighestDevice=5\n";
        std::ofstream(dir_ / "dev_004.ini") << "[Device]\nType=infodriver\nSlots=64\n";
        std::ofstream(dir_ / "dev_005.ini") << "[Device]\nType=infodriver\nSlots=64\n";
        if (withHub) {
            orq::HubOptions options;
            options.configDirectory = dir_.string();
            options.windowClass = "QxBenchInfodriverHub";
            hub_ = std::make_unique<orq::OrqHub>(options);
            hub_->start();
        }
        infodriver::InfodriverOptions options;
        options.configDirectory = dir_.string();
        options.devices = {backed};
        host_ = std::make_unique<infodriver::InfodriverHost>(options);
        host_->start();
        driver_.self = &infodriverClient;
        infodriverClient.connect(backed, ipc, 0);
        if (withHub) {
            client.connect(ipc, 0);
            client.revertiveRegister(backed, 1, 64, true, qx::IP);
            client.revertiveRegister(unbacked, 1, 64, true, qx::IP);
        }
    }
    ~Bench() {
        client.disconnect();
        infodriverClient.disconnect();
        host_.reset();
        hub_.reset();
        std::filesystem::remove_all(dir_);
    }
    // Writes through the hub and waits for the revertive.
    bool loop(int device, int& slot) {
        const long before = events.revertives;
        slot = slot % 64 + 1;
        client.infoWrite(device, slot, "value", true, 0);
        return qxplatform::pumpUntil([&] { return events.revertives > before; }, 5000);
    }

private:
    std::filesystem::path dir_;
    std::unique_ptr<orq::OrqHub> hub_;
    std::unique_ptr<infodriver::InfodriverHost> host_;
    Driver driver_;

public:
    qxInfodriver infodriverClient{&driver_, "qxInfodriver"};
    Client events;
    qxClient client{&events, "qxClient"};
};

void BM_SetSlot(benchmark::State& state) {
    Bench bench(static_cast<qx::ipcType>(state.range(0)), false);
    int slot = 0;
    for (auto _ : state) {
        slot = slot % 64 + 1;
        bench.infodriverClient.setSlot(slot, "value", true);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(state.range(0) == qx::wm ? "wm" : "zel");
}
BENCHMARK(BM_SetSlot)->Arg(qx::wm)->Arg(qx::zel)->UseRealTime();

// Reference: the hub applies an infodriver write itself.
void BM_HubInfoWriteToRevertive(benchmark::State& state) {
    Bench bench(static_cast<qx::ipcType>(state.range(0)), true);
    int slot = 0;
    for (auto _ : state) {
        if (!bench.loop(unbacked, slot)) state.SkipWithError("no revertive");
    }
    state.SetLabel(state.range(0) == qx::wm ? "wm" : "zel");
}
BENCHMARK(BM_HubInfoWriteToRevertive)->Arg(qx::wm)->Arg(qx::zel)->UseRealTime();

// Client write -> hub -> infodriver -> driver -> infodriver -> hub -> client.
void BM_LoopThroughDriver(benchmark::State& state) {
    Bench bench(static_cast<qx::ipcType>(state.range(0)), true);
    int slot = 0;
    for (auto _ : state) {
        if (!bench.loop(backed, slot)) state.SkipWithError("no revertive");
    }
    state.SetLabel(state.range(0) == qx::wm ? "wm" : "zel");
}
BENCHMARK(BM_LoopThroughDriver)->Arg(qx::wm)->Arg(qx::zel)->UseRealTime();

}  // namespace
