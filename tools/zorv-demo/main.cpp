// The facility in a box: an embedded hub with a small facility (a router, an
// infodriver and a GPI unit) and one client that registers for their
// revertives, switches, writes, polls, reads the cache and the databases, and
// prints every callback it receives.
#include <qxplatform.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "DemoHub.h"
#include "qxClient.h"
#include "zorvText.h"

namespace {

constexpr int router = 1;
constexpr int infodriver = 2;
constexpr int gpiUnit = 3;

class PrintingCallback : public IqxClientCallback {
public:
    int received = 0;
    void connected() override { print("connected"); }
    void disconnected() override { print("disconnected"); }
    void infoRevertive(int device, int slot, const std::string& value) override {
        print(formatText("info revertive: device %d slot %d = '%s'", device, slot, value.c_str()));
    }
    void routerRevertive(int device, int destination, int source) override {
        print(formatText("router revertive: device %d destination %d <- source %d", device, destination, source));
    }
    void gpiRevertive(int device, int index, bool state) override {
        print(formatText("gpi revertive: device %d index %d %s", device, index, state ? "on" : "off"));
    }
    void databaseChange(int device, int index, int database) override {
        print(formatText("database change: device %d index %d database %d", device, index, database));
    }
    void deviceMode(int device, int index, qx::redundancyState state) override {
        print(formatText("device mode: device %d index %d state %d", device, index, static_cast<int>(state)));
    }
    void deviceMessage(int workstation, int device, const std::string& message, int reference) override {
        print(formatText("device message from workstation %d, device %d: '%s' (reference %d)", workstation, device,
                         message.c_str(), reference));
    }
    void pollError(int device, int slot) override { print(formatText("poll error: device %d slot %d", device, slot)); }
    void configChangeMessage(const std::string& message) override {
        print("configuration change: '" + message + "'");
    }

private:
    void print(const std::string& line) {
        ++received;
        std::printf("  <- %s\n", line.c_str());
        std::fflush(stdout);
    }
};

void step(const char* what) {
    std::printf("%s\n", what);
    std::fflush(stdout);
}

// Lets the hub's revertives arrive: pumps until `count` callbacks came in.
bool await(PrintingCallback& events, int count) {
    return qxplatform::pumpUntil([&] { return events.received >= count; }, 5000);
}

std::filesystem::path copyFacility(const std::filesystem::path& shipped) {
    auto work = std::filesystem::temp_directory_path() / ("zorv-demo-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::remove_all(work);
    std::filesystem::create_directories(work);
    for (const auto& entry : std::filesystem::directory_iterator(shipped)) {
        std::filesystem::copy_file(entry.path(), work / entry.path().filename());
    }
    return work;
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path shipped = argc > 1 ? argv[1] : ZORV_FACILITY_DIR;
    const auto facility = copyFacility(shipped);

    orq::HubOptions options;
    options.configDirectory = facility.string();
    options.maxDatabaseIndex = 65535;  // names travel in the short form
    DemoHub hub(options);
    if (!hub.start()) {
        std::fprintf(stderr, "the hub did not start\n");
        return 1;
    }
    std::printf("%s\n", hub.describe().c_str());

    PrintingCallback events;
    bool ok = true;
    {
        qxClient client(&events, "qxClient");
        step("connect over window messages");
        ok &= !client.connect(qx::wm, 0);

        step("register for the revertives of the router, the infodriver and the GPI unit");
        client.revertiveRegister(router, 1, 8, true, qx::RP);
        client.revertiveRegister(infodriver, 1, 16, true, qx::IP);
        client.revertiveRegister(gpiUnit, 1, 8, true, qx::GP);

        int expected = events.received;
        step("switch router destination 5 to source 7, at once");
        client.routerCrosspoint(router, 5, 7, ",---", true, 0);
        ok &= await(events, expected += 1);

        step("write infodriver slot 3, held until the buffered commands are sent");
        client.infoWrite(infodriver, 3, "ON AIR", false, 0);
        client.sendBufferedCommands();
        ok &= await(events, expected += 1);

        step("switch GPI 2 on");
        client.gpiSwitch(gpiUnit, 2, true, true, 0);
        ok &= await(events, expected += 1);

        step("poll router destinations 4 to 5");
        client.routerPoll(router, 4, 5, true);
        ok &= await(events, expected += 2);

        std::string value;
        client.cacheValue(infodriver, 3, value);
        std::printf("cached value of infodriver slot 3: '%s'\n", value.c_str());

        std::string name;
        client.databaseName(router, 7, 0, name);
        std::printf("name of router source 7 in database 0: '%s'\n", name.c_str());
        step("rename it");
        client.databaseModify(router, 7, 0, "Camera 7", false, false, 0);
        ok &= await(events, expected += 1);
        client.databaseName(router, 7, 0, name);
        std::printf("name of router source 7 in database 0 now: '%s'\n", name.c_str());

        if (orq::OrqHub* embedded = hub.embedded()) {
            step("the hub reports the infodriver as transmitting");
            embedded->announceDeviceMode(infodriver, 1, "NA");
            ok &= await(events, expected += 1);
        }

        unsigned tx = 0, rx = 0;
        client.counters(tx, rx);
        std::printf("commands sent %u, revertives received %u\n", tx, rx);
        step("disconnect");
    }
    hub.stop();
    std::filesystem::remove_all(facility);
    std::printf(ok ? "demo finished\n" : "demo finished with missing revertives\n");
    return ok ? 0 : 1;
}
