// redundant-driver: a standalone infodriver driver that takes part in
// redundancy. Start two against one infodriver (infodriver-host): the first
// transmits and decides every write by stamping it with its name, the
// second stands by; stop the first and the second takes over.
//
//   redundant-driver --device 2 --name A        # in one terminal
//   redundant-driver --device 2 --name B        # in another; stop A with Ctrl-C
//   redundant-driver --demo                     # both, and an infodriver, in this process
#include <CLI/CLI.hpp>
#include <qxplatform.h>
#include <zorvVersion.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "InfodriverHost.h"
#include "qxInfodriver.h"

namespace {

std::atomic<bool> interrupted{false};

void onSignal(int) { interrupted = true; }

void say(const std::string& name, const std::string& line) {
    std::printf("%s: %s\n", name.c_str(), line.c_str());
    std::fflush(stdout);
}

const char* stateName(qx::redundancyState state) {
    return state == qx::tx ? "tx" : state == qx::rx ? "rx" : "unknown";
}

class RedundantDriver : public IqxInfodriverCallback {
public:
    explicit RedundantDriver(std::string name) : name_(std::move(name)), driver_(this, "qxInfodriver") {}

    bool attach(int device, qx::ipcType transport) { return !driver_.connect(device, transport, 0); }
    qx::redundancyState state() const { return driver_.getState(); }
    bool attached() { return driver_.isConnected(); }

    void slotWrite(int, int index, const std::string& text) override {
        say(name_, "writes slot " + std::to_string(index) + ": " + text);
        driver_.setSlot(index, name_ + ": " + text, true);
    }
    void deviceMessage(int, int, const std::string& text, const std::string&, const std::string&) override {
        say(name_, "device message: " + text);
    }
    void redundancyChange(int, qx::redundancyState state) override { say(name_, std::string("now ") + stateName(state)); }
    void connected(int device) override { say(name_, "attached to infodriver " + std::to_string(device)); }
    void disconnected(int device) override { say(name_, "detached from infodriver " + std::to_string(device)); }

private:
    std::string name_;
    qxInfodriver driver_;
};

// One driver until Ctrl-C or until its infodriver goes away.
int runDriver(int device, qx::ipcType transport, const std::string& name) {
    RedundantDriver driver(name);
    if (!driver.attach(device, transport)) {
        say(name, "no infodriver for device " + std::to_string(device));
        return 1;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    while (!interrupted && driver.attached()) qxplatform::pumpUntil([] { return interrupted.load(); }, 200);
    return 0;
}

// An infodriver and two drivers, each on a thread of its own as it would be
// in a process of its own; the tx driver stops and the other takes over.
int runDemo(qx::ipcType transport) {
    const auto dir = std::filesystem::temp_directory_path() / ("redundant-driver-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "dev_002.ini") << "[Device]\nType=infodriver\nName=Tally\nSlots=8\n";
    infodriver::InfodriverOptions options;
    options.configDirectory = dir.string();
    infodriver::InfodriverHost host(options);
    if (!host.start()) return 1;

    std::atomic<bool> stopA{false}, stopB{false}, attachedA{false};
    auto run = [&](const char* name, std::atomic<bool>& stop, std::atomic<bool>* attached) {
        RedundantDriver driver(name);
        driver.attach(2, transport);
        if (attached != nullptr) *attached = true;
        // Nothing wakes this thread when the flag changes: look at it often.
        while (!stop) qxplatform::pumpUntil([&] { return stop.load(); }, 20);
    };
    std::thread a(run, "A", std::ref(stopA), &attachedA);
    while (!attachedA) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::thread b(run, "B", std::ref(stopB), nullptr);
    auto waitForSlot = [&](const std::string& text) {
        for (int i = 0; i < 500 && host.slot(2, 1) != text; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        say("infodriver", "slot 1 = '" + host.slot(2, 1) + "'");
        return host.slot(2, 1) == text;
    };
    while (host.driverCount(2) < 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    host.requestWrite(2, 1, "first value", 1);
    bool ok = waitForSlot("A: first value");
    say("demo", "stopping A");
    stopA = true;
    a.join();
    host.requestWrite(2, 1, "second value", 1);
    ok &= waitForSlot("B: second value");
    stopB = true;
    b.join();
    host.stop();
    std::filesystem::remove_all(dir);
    say("demo", ok ? "B took over" : "the hand-over did not happen");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    int device = 2;
    std::string name = "driver";
    std::string transportName = "wm";
    bool demo = false;
    CLI::App app{"A redundant infodriver driver: stamps every write it is asked for while it is tx"};
    app.set_version_flag("--version", ZORV_VERSION);
    app.add_option("-d,--device", device, "Infodriver device")->default_val(device);
    app.add_option("-n,--name", name, "Name stamped on the values")->default_val(name);
    app.add_option("-t,--transport", transportName, "wm or zel")->check(CLI::IsMember({"wm", "zel"}));
    app.add_flag("--demo", demo, "Run an infodriver and two drivers in this process and stop the tx one");
    CLI11_PARSE(app, argc, argv);
    if (!qxplatform::windowsAvailable()) return 1;  // the reason is on standard error
    const qx::ipcType transport = transportName == "zel" ? qx::zel : qx::wm;
    return demo ? runDemo(transport) : runDriver(device, transport, name);
}
