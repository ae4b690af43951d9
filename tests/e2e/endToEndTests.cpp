// The whole loop: a client's command reaches the hub stand-in, which changes
// its device and reports the new state to every client registered for it.
#include <gtest/gtest.h>
#include <qxplatform.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include "OrqHub.h"
#include "ScopedEnv.h"
#include "qxClient.h"
#include "zorvText.h"

namespace {

using qxtest::ScopedEnv;

class Recorder : public IqxClientCallback {
public:
    std::vector<std::string> events;
    void connected() override {}
    void disconnected() override {}
    void infoRevertive(int d, int s, const std::string& v) override { add(formatText("IR %d %d %s", d, s, v.c_str())); }
    void routerRevertive(int d, int i, int s) override { add(formatText("RR %d %d %d", d, i, s)); }
    void gpiRevertive(int d, int i, bool s) override { add(formatText("GR %d %d %d", d, i, s ? 1 : 0)); }
    void databaseChange(int d, int i, int db) override { add(formatText("DC %d %d %d", d, i, db)); }
    void deviceMode(int d, int i, qx::redundancyState s) override { add(formatText("MODE %d %d %d", d, i, int(s))); }
    void deviceMessage(int w, int d, const std::string& m, int r) override {
        add(formatText("NS %d %d %s %d", w, d, m.c_str(), r));
    }
    void pollError(int, int) override {}
    void configChangeMessage(const std::string& m) override { add("CC " + m); }
    bool has(const std::string& event) const { return std::find(events.begin(), events.end(), event) != events.end(); }

private:
    void add(std::string event) { events.push_back(std::move(event)); }
};

// A facility in a fresh directory: router 3 (16 x 16), infodriver 4, GPI unit 5.
class Facility {
public:
    Facility() {
        std::random_device random;
        dir_ = std::filesystem::temp_directory_path() / ("qx-e2e-" + std::to_string(random()));
        std::filesystem::create_directories(dir_);
        write("orq.ini", "[Hub]\nHighestDevice=9\n");
        write("dev_003.ini", "[Device]\nType=router\nName=Main\nVersion=2\nSources=16\nDestinations=16\n");
        write("dev_004.ini", "[Device]\nType=infodriver\nName=Tally\nVersion=1\nSlots=16\n");
        write("dev_005.ini", "[Device]\nType=gpi\nName=Lights\nVersion=1\nIndexes=8\n");
    }
    ~Facility() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::string path() const { return dir_.string(); }
    void write(const char* name, const char* text) { std::ofstream(dir_ / name) << text; }

private:
    std::filesystem::path dir_;
};

class EndToEnd : public ::testing::TestWithParam<qx::ipcType> {
protected:
    ScopedEnv root{"QX_ROOT", "r"};
    ScopedEnv system{"QX_SYSTEM", "s"};
    ScopedEnv workstation{"QX_WORKSTATION", "12"};
    Facility facility;
    std::unique_ptr<orq::OrqHub> hub;

    void startHub(DWORD holdDelayMs = 60000) {
        orq::HubOptions options;
        options.configDirectory = facility.path();
        options.windowClass = "QxEndToEndHub";
        options.holdDelayMs = holdDelayMs;
        options.maxDatabaseIndex = 65535;
        hub = std::make_unique<orq::OrqHub>(options);
        ASSERT_TRUE(hub->start());
    }
    std::unique_ptr<qxClient> connect(Recorder& events) {
        auto client = std::make_unique<qxClient>(&events, "qxClient");
        EXPECT_FALSE(client->connect(GetParam(), 0));
        return client;
    }
    static bool pumpUntil(const std::function<bool()>& done) { return qxplatform::pumpUntil(done, 5000); }
};

TEST_P(EndToEnd, ACrosspointReachesOnlyRegisteredClients) {
    startHub();
    Recorder registeredEvents, otherEvents;
    auto registered = connect(registeredEvents);
    auto other = connect(otherEvents);
    registered->revertiveRegister(3, 1, 16, true, qx::RP);
    other->revertiveRegister(4, 1, 16, true, qx::IP);

    registered->routerCrosspoint(3, 10, 7, ",---", true, 0);
    ASSERT_TRUE(pumpUntil([&] { return registeredEvents.has("RR 3 10 7"); }));
    other->infoWrite(4, 2, "on air", true, 0);
    ASSERT_TRUE(pumpUntil([&] { return otherEvents.has("IR 4 2 on air"); }));
    EXPECT_FALSE(otherEvents.has("RR 3 10 7"));
    EXPECT_FALSE(registeredEvents.has("IR 4 2 on air"));
}

TEST_P(EndToEnd, CommandsWithoutNowWaitForTheFlush) {
    startHub();
    Recorder events;
    auto client = connect(events);
    client->revertiveRegister(5, 1, 8, true, qx::GP);
    client->gpiSwitch(5, 1, true, false, 0);
    client->gpiSwitch(5, 2, true, true, 0);
    ASSERT_TRUE(pumpUntil([&] { return events.has("GR 5 2 1"); }));
    EXPECT_FALSE(events.has("GR 5 1 1")) << "held by the hub";
    client->sendBufferedCommands();
    ASSERT_TRUE(pumpUntil([&] { return events.has("GR 5 1 1"); }));
}

TEST_P(EndToEnd, HeldCommandsActAfterTheHubsDelay) {
    startHub(20);
    Recorder events;
    auto client = connect(events);
    client->revertiveRegister(3, 1, 16, true, qx::RP);
    client->routerCrosspoint(3, 1, 2, ",---", false, 0);
    EXPECT_TRUE(pumpUntil([&] { return events.has("RR 3 1 2"); }));
}

TEST_P(EndToEnd, ANameChangedByOneClientIsReadByAnotherWhichIsNotified) {
    startHub();
    Recorder writerEvents, readerEvents;
    auto writer = connect(writerEvents);
    auto reader = connect(readerEvents);
    reader->revertiveRegister(3, 1, 16, true, qx::RP);
    EXPECT_FALSE(writer->databaseModify(3, 6, 1, "Camera six", false, false, 0));
    ASSERT_TRUE(pumpUntil([&] { return readerEvents.has("DC 3 6 1"); }));
    std::string name;
    EXPECT_FALSE(reader->databaseName(3, 6, 1, name));
    EXPECT_EQ(name, "Camera six");
    EXPECT_EQ(reader->databaseIndex(3, 1, "Camera six"), 6);
}

// Device 65 is "A" in its low byte and 256 has a zero byte there: names
// written into the request's block must still read as names.
TEST_P(EndToEnd, ShortNamesReadAsTheHubHoldsThem) {
    facility.write("dev_065.ini", "[Device]\nType=router\n[Database_2]\n3=A\n");
    facility.write("dev_256.ini", "[Device]\nType=router\n[Database_2]\n3=\n");
    startHub();
    Recorder events;
    auto client = connect(events);
    std::string name;
    EXPECT_FALSE(client->databaseName(65, 3, 2, name));
    EXPECT_EQ(name, "A");
    EXPECT_FALSE(client->databaseName(256, 3, 2, name));
    EXPECT_EQ(name, "");
    EXPECT_TRUE(client->databaseName(65, 4, 2, name));
    EXPECT_EQ(name, "- - -");
}

TEST_P(EndToEnd, TheCacheHoldsTheLastRevertive) {
    startHub();
    Recorder events;
    auto client = connect(events);
    client->revertiveRegister(4, 1, 16, true, qx::IP);
    client->infoWrite(4, 9, "cached text", true, 0);
    ASSERT_TRUE(pumpUntil([&] { return events.has("IR 4 9 cached text"); }));
    std::string value;
    EXPECT_FALSE(client->cacheValue(4, 9, value));
    EXPECT_EQ(value, "cached text");
    EXPECT_TRUE(client->cacheValue(4, 10, value));
    EXPECT_EQ(value, "- - -");
}

TEST_P(EndToEnd, ConfigurationChangesReachSubscribers) {
    startHub();
    Recorder senderEvents, subscriberEvents;
    auto sender = connect(senderEvents);
    auto subscriber = connect(subscriberEvents);
    subscriber->registerForNetMessage();
    sender->sendConfigChangeMessage("layout 2");
    ASSERT_TRUE(pumpUntil([&] { return subscriberEvents.has("CC layout 2"); }));
}

INSTANTIATE_TEST_SUITE_P(Transports, EndToEnd, ::testing::Values(qx::wm, qx::zel),
                         [](const auto& param) { return param.param == qx::wm ? "wm" : "zel"; });

}  // namespace
