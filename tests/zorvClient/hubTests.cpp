// An application against the hub stand-in: it connects, commands, hears every
// kind of event and disposes.
#include "OrqHub.h"
#include "TempDir.h"
#include "zorvClientTestSupport.h"

namespace zorvtest {
namespace {

class WithHub : public ::testing::TestWithParam<IpcType> {
protected:
    Workstation12 identity;
    qxtest::TempDir facility{"qx-zorv-"};
    orq::OrqHub hub{withDevices()};

    // Router 3 (16 x 16), infodriver 4 and GPI unit 5.
    orq::HubOptions withDevices() const {
        facility.write("orq.ini", "[Hub]\nHighestDevice=9\n");
        facility.write("dev_003.ini", "[Device]\nType=router\nSources=16\nDestinations=16\n");
        facility.write("dev_004.ini", "[Device]\nType=infodriver\nSlots=16\n");
        facility.write("dev_005.ini", "[Device]\nType=gpi\nIndexes=8\n");
        orq::HubOptions o;
        o.configDirectory = facility.win();
        o.windowClass = "QxZorvClientHub";
        o.maxDatabaseIndex = 65535;
        return o;
    }
};

TEST_P(WithHub, AnApplicationConnectsCommandsHearsAndDisposes) {
    ASSERT_TRUE(hub.start());
    auto client = std::make_unique<ZorvClient>();
    EventLog events(*client);
    ASSERT_FALSE(client->connect(GetParam()));
    client->revertiveRegister(3, 1, 16, true, PollType::RP);
    client->revertiveRegister(4, 1, 16);
    client->revertiveRegister(5, 1, 8, true, PollType::GP);
    client->registerForNetMessage();

    client->routerCrosspoint(3, 10, 7, u",---", true);
    client->infoWrite(4, 2, u"caf\u00E9", true);
    client->gpiSwitch(5, 1, true, true);
    EXPECT_FALSE(client->databaseModify(3, 6, 1, u"Camera six"));
    client->deviceMessage(0, 3, u"hello", 5);
    client->sendConfigChangeMessage(u"layout 2");
    hub.announceDeviceMode(4, 1, "NA");
    const Lines expected = {"connected",  "RR 3 10 7", "IR 4 2 [caf\xC3\xA9]", "GR 5 1 true",   "DC 3 6 1",
                            "NS 12 3 [hello] 5", "CC [layout 2]", "MODE 4 1 2"};
    ASSERT_TRUE(pumpUntil([&] {
        return std::all_of(expected.begin(), expected.end(), [&](const auto& line) { return events.has(line); });
    })) << ::testing::PrintToString(events.lines);

    String value, name;
    EXPECT_FALSE(client->cacheValue(4, 2, value));
    EXPECT_EQ(value, String(u"caf\u00E9"));
    EXPECT_FALSE(client->databaseName(3, 6, 1, name));
    EXPECT_EQ(name, String(u"Camera six"));
    EXPECT_EQ(client->databaseIndex(3, 1, u"Camera six"), 6);

    events.lines.clear();
    client.reset();
    EXPECT_EQ(events.lines, Lines{"disconnected"});
    EXPECT_TRUE(hub.waitFor([&] { return hub.clientCount() == 0; }, 5000));
}

INSTANTIATE_TEST_SUITE_P(Transports, WithHub, ::testing::Values(IpcType::wm, IpcType::zel),
                         [](const auto& param) { return param.param == IpcType::wm ? "wm" : "zel"; });

}  // namespace
}  // namespace zorvtest
