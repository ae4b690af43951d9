// The facility in a box: an embedded hub with a small facility (a router, an
// infodriver and a GPI unit) and one client that registers for their
// revertives, switches, writes, polls, reads the cache and the databases, and
// prints every event it receives.
#include <qxplatform.h>
#include <zorvVersion.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "DemoHub.h"
#include "OrqHub.h"
#include "ZorvClient.h"
#include "infodriverDemo.h"
#include "shippedFacility.h"

namespace {

using namespace ZorvClientLibrary;

constexpr uint router = 1;
constexpr uint infodriver = 2;
constexpr uint gpiUnit = 3;

// Subscribes to every event of the client and prints each one.
class Printer {
public:
    int received = 0;

    explicit Printer(ZorvClient& client) {
        client.ConnectedEvent += [this] { print("connected"); };
        client.DisconnectedEvent += [this] { print("disconnected"); };
        client.InfoRevertiveEvent += [this](uint device, uint slot, String value) {
            print("info revertive: device %u slot %u = '%s'", device, slot, value.toUtf8().c_str());
        };
        client.RouterRevertiveEvent += [this](uint device, uint destination, int source) {
            print("router revertive: device %u destination %u <- source %d", device, destination, source);
        };
        client.GPIRevertiveEvent += [this](uint device, uint index, bool state) {
            print("gpi revertive: device %u index %u %s", device, index, state ? "on" : "off");
        };
        client.DatabaseChangeEvent += [this](uint device, uint index, int database) {
            print("database change: device %u index %u database %d", device, index, database);
        };
        client.DeviceModeEvent += [this](uint device, uint index, RedundancyState state) {
            print("device mode: device %u index %u state %d", device, index, static_cast<int>(state));
        };
        client.DeviceMessageEvent += [this](int workstation, uint device, String message, int reference) {
            print("device message from workstation %d, device %u: '%s' (reference %d)", workstation, device,
                  message.toUtf8().c_str(), reference);
        };
        client.PollErrorEvent += [this](uint device, uint slot) { print("poll error: device %u slot %u", device, slot); };
        client.ConfigChangeMessageEvent += [this](String message) {
            print("configuration change: '%s'", message.toUtf8().c_str());
        };
    }

private:
    template <typename... Args>
    void print(const char* format, Args... args) {
        ++received;
        std::printf("  <- ");
        if constexpr (sizeof...(Args) == 0) std::fputs(format, stdout);
        else std::printf(format, args...);
        std::printf("\n");
        std::fflush(stdout);
    }
};

void step(const char* what) {
    std::printf("%s\n", what);
    std::fflush(stdout);
}

// Lets the hub's revertives arrive: pumps until `count` callbacks came in.
bool await(Printer& events, int count) {
    return qxplatform::pumpUntil([&] { return events.received >= count; }, 5000);
}

// Device messages name their sender's workstation, and 0 is none: unless the
// environment already chooses one, the demo runs as workstation 1.
void chooseWorkstation() {
    if (std::getenv("QX_ROOT") != nullptr && std::getenv("QX_SYSTEM") != nullptr) return;
    for (const auto& [name, value] : {std::pair{"QX_ROOT", "c:\\zorv"}, {"QX_SYSTEM", "demo"}, {"QX_WORKSTATION", "1"}}) {
#ifdef _WIN32
        _putenv_s(name, value);
#else
        setenv(name, value, 1);
#endif
    }
}

// A working copy of the facility (the hub writes names into its files),
// removed again however the demo ends.
class FacilityCopy {
public:
    explicit FacilityCopy(const std::filesystem::path& shipped)
        : path_(std::filesystem::temp_directory_path() / ("zorv-demo-" + std::to_string(GetCurrentProcessId()))) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
        try {
            for (const auto& entry : std::filesystem::directory_iterator(shipped))
                std::filesystem::copy_file(entry.path(), path_ / entry.path().filename());
        } catch (...) {
            remove();
            throw;
        }
    }
    ~FacilityCopy() { remove(); }
    FacilityCopy(const FacilityCopy&) = delete;
    FacilityCopy& operator=(const FacilityCopy&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    void remove() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::filesystem::path path_;
};

// A database name quoted, or "unset" (as zorvctl says it): the short read
// answers true for a name that is not set, the wide read an empty text.
std::string nameOf(ZorvClient& client, uint device, uint index, uint database) {
    String name;
    if (client.databaseName(device, index, database, name) || name.toUtf8().empty()) return "unset";
    return "'" + name.toUtf8() + "'";
}

}  // namespace

int main(int argc, char** argv) {
    const std::string argument = argc > 1 ? argv[1] : "";
    if (argument == "--version") {
        std::printf("%s\n", ZORV_VERSION);
        return 0;
    }
    if (argc > 2 || argument == "--help" || (!argument.empty() && argument[0] == '-')) {
        std::printf("usage: zorv-demo [FACILITY_DIR]   runs a hub with the facility (default: the shipped one),\n"
                    "                                  a client and an infodriver with a driver\n"
                    "       zorv-demo --version\n");
        return argument == "--help" ? 0 : 1;
    }
    const std::filesystem::path shipped = argument.empty() ? shippedFacility() : std::filesystem::path(argument);
    if (!std::filesystem::is_directory(shipped)) {
        std::fprintf(stderr, "zorv-demo: no facility directory %s\n", shipped.string().c_str());
        return 1;
    }
    if (!qxplatform::windowsAvailable()) return 1;  // the reason is on standard error
    const FacilityCopy copy(shipped);
    const std::filesystem::path& facility = copy.path();
    chooseWorkstation();

    orq::HubOptions options;
    options.configDirectory = facility.string();
    options.maxDatabaseIndex = 65535;  // names travel in the short form
    DemoHub hub(options);
    if (!hub.start()) {
        std::fprintf(stderr, "the hub did not start\n");
        return 1;
    }
    std::printf("facility from %s\n%s\n", shipped.string().c_str(), hub.describe().c_str());

    bool ok = true;
    {
        ZorvClient client;
        Printer events(client);
        step("connect over window messages");
        ok &= !client.connect(IpcType::wm);

        step("register for the revertives of the router, the infodriver and the GPI unit, and for network messages");
        client.revertiveRegister(router, 1, 8, true, PollType::RP);
        client.revertiveRegister(infodriver, 1, 16);
        client.revertiveRegister(gpiUnit, 1, 8, true, PollType::GP);
        client.registerForNetMessage();

        int expected = events.received;
        step("switch router destination 5 to source 7, at once");
        client.routerCrosspoint(router, 5, 7, u",---", true);
        ok &= await(events, expected += 1);

        step("write infodriver slot 3, held until the buffered commands are sent");
        client.infoWrite(infodriver, 3, u"ON AIR \u00E0 8 \u20AC");
        client.sendBufferCommands();
        ok &= await(events, expected += 1);

        step("switch GPI 2 on");
        client.gpiSwitch(gpiUnit, 2, true, true);
        ok &= await(events, expected += 1);

        step("poll router destinations 4 to 5");
        client.routerPoll(router, 4, 5, true);
        ok &= await(events, expected += 2);

        String value;
        client.cacheValue(infodriver, 3, value);
        std::printf("cached value of infodriver slot 3: '%s'\n", value.toUtf8().c_str());

        std::printf("name of router source 7 in database 0: %s\n", nameOf(client, router, 7, 0).c_str());
        step("rename it");
        client.databaseModify(router, 7, 0, u"Camera 7");
        ok &= await(events, expected += 1);
        std::printf("name of router source 7 in database 0 now: %s\n", nameOf(client, router, 7, 0).c_str());

        step("send a device message and a configuration change to every subscriber");
        client.deviceMessage(0, router, u"hello", 42);
        client.sendConfigChangeMessage(u"layout 2");
        ok &= await(events, expected += 2);

        if (orq::OrqHub* embedded = hub.embedded()) {
            step("the hub reports the infodriver as transmitting");
            embedded->announceDeviceMode(infodriver, 1, "NA");
            ok &= await(events, expected += 1);
        }

        uint tx = 0, rx = 0;
        client.counters(tx, rx);
        std::printf("commands sent %u, revertives received %u\n", tx, rx);
        step("dispose the client");
    }
    ok &= runInfodriverDemo(facility.string(), infodriver);
    hub.stop();
    std::printf(ok ? "demo finished\n" : "demo finished with missing revertives\n");
    return ok ? 0 : 1;
}
