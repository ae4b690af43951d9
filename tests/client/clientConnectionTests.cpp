#include "clientTestSupport.h"

#include "orqWindowClass.h"

namespace qxtest {
namespace {

using ClientConnection = ClientTest;

std::vector<UINT> messageIds(const FakeHub& hub) {
    std::vector<UINT> ids;
    for (const auto& m : hub.messages()) ids.push_back(m.message);
    return ids;
}

TEST_F(ClientConnection, FindsHubByBroadcastAnnouncesRegistersAndLoadsLimits) {
    FakeHub hub(hubOptions());
    qxClient client(&events, "qxClient");
    trace.clear();
    ASSERT_FALSE(client.connect(qx::wm, 7));
    EXPECT_TRUE(client.isConnected());
    EXPECT_EQ(client.getHubWindow(), hub.window());
    // The first broadcast (2031) is in the range a broadcast never delivers;
    // the second one finds the hub.
    EXPECT_EQ(messageIds(hub),
              (std::vector<UINT>{49153, 2034, 49222, 49235, 49243, 49245, 49233, 49234, 49243, 49246}));
    auto announce = hub.messagesOf(2034)[0];
    EXPECT_EQ(announce.wParam, reinterpret_cast<WPARAM>(client.getMessageWindow()));
    EXPECT_EQ(announce.lParam, 4);
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{
                                 "qxClient: REQUESTING ORQ handle from Broadcast Windows Message",
                                 "qxClient: ORQ handle from Broadcast Windows Message",
                                 "++ number of databases is 4",
                             }));
    EXPECT_EQ(events.events, std::vector<std::string>{"connected"});
    // The loaded limits now govern the checks.
    trace.clear();
    client.routerPoll(100001, 1, 1, false);
    EXPECT_EQ(trace.text(), "qxClient: Device Number of out range (> MAX_DEVICES)\n");
}

TEST_F(ClientConnection, HalvikFindsTheHubWithoutBroadcast) {
    auto options = hubOptions();
    options.windowClass = orqWindowClass;
    options.probeAnswer = 0x1234AAAA;  // only the low 16 bits count
    FakeHub hub(options);
    qxClient client(&events, "qxClient");
    trace.clear();
    ASSERT_FALSE(client.connect(qx::wm, 0));
    auto ids = messageIds(hub);
    ASSERT_FALSE(ids.empty());
    EXPECT_EQ(ids[0], 49552u);
    EXPECT_EQ(hub.messagesOf(49552)[0].wParam, 0x5555u);
    EXPECT_TRUE(hub.messagesOf(49153).empty());
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{"qxClient: ORQ handle from halvik.dll",
                                                       "++ number of databases is 4"}));
}

TEST_F(ClientConnection, AWrongProbeAnswerFallsBackToTheBroadcasts) {
    auto options = hubOptions();
    options.windowClass = orqWindowClass;
    options.probeAnswer = 0xAAAB;
    FakeHub hub(options);
    qxClient client(&events, "qxClient");
    trace.clear();
    ASSERT_FALSE(client.connect(qx::wm, 0));
    EXPECT_EQ(hub.messagesOf(49153).size(), 1u);
    EXPECT_FALSE(trace.contains("halvik"));
}

TEST_F(ClientConnection, NoHubFailsWithDefaults) {
    qxClient client(&events, "qxClient");
    EXPECT_TRUE(client.connect(qx::wm, 0));
    EXPECT_FALSE(client.isConnected());
    EXPECT_TRUE(events.events.empty());
    EXPECT_TRUE(client.disconnect());
}

TEST_F(ClientConnection, HubAnsweringZeroLeavesDefaultLimits) {
    FakeHub::Options options;
    FakeHub hub(options);
    qxClient client(&events, "qxClient");
    ASSERT_FALSE(client.connect(qx::wm, 0));
    EXPECT_EQ(client.getStringLimit(), 256);
    EXPECT_EQ(client.getDatabaseLimit(), 10);
    EXPECT_EQ(client.getDeviceLimit(), 2147483647);
    EXPECT_EQ(client.getIndexLimit(), 2147483647);
    EXPECT_EQ(client.getSourceLimit(), 2147483647);
    EXPECT_TRUE(trace.contains("++ number of databases is 10"));
}

TEST_F(ClientConnection, ConnectWithoutTransportAnnouncesNothing) {
    FakeHub hub(hubOptions());
    qxClient client(&events, "qxClient");
    ASSERT_FALSE(client.connect(qx::none, 0));
    EXPECT_TRUE(hub.messagesOf(2034).empty());
    EXPECT_TRUE(hub.messagesOf(2054).empty());
    EXPECT_EQ(hub.messagesOf(49222).size(), 1u);
    EXPECT_EQ(events.events, std::vector<std::string>{"connected"});
    hub.clear();
    client.routerCrosspoint(1, 1, 1, "", true, 0);  // counted, not sent
    EXPECT_TRUE(hub.requests().empty());
}

TEST_F(ClientConnection, ZelClientsAnnounceThemselvesWith2054) {
    FakeHub hub(hubOptions());
    qxClient client(&events, "qxClient");
    ASSERT_FALSE(client.connect(qx::zel, 0));
    ASSERT_EQ(hub.messagesOf(2054).size(), 1u);
    EXPECT_EQ(hub.messagesOf(2054)[0].lParam, 4);
}

TEST_F(ClientConnection, DisconnectTellsTheHubOnce) {
    FakeHub hub(hubOptions());
    qxClient client(&events, "qxClient");
    ASSERT_FALSE(client.connect(qx::wm, 0));
    hub.clear();
    EXPECT_FALSE(client.disconnect());
    EXPECT_EQ(messageIds(hub), (std::vector<UINT>{2034, 49223}));
    EXPECT_EQ(hub.messagesOf(2034)[0].lParam, 2);
    EXPECT_TRUE(client.disconnect());
    EXPECT_EQ(events.events, (std::vector<std::string>{"connected", "disconnected"}));
}

TEST_F(ClientConnection, ASecondConnectDisconnectsFirst) {
    FakeHub hub(hubOptions());
    qxClient client(&events, "qxClient");
    ASSERT_FALSE(client.connect(qx::wm, 0));
    ASSERT_FALSE(client.connect(qx::wm, 0));
    EXPECT_EQ(events.events, (std::vector<std::string>{"connected", "disconnected", "connected"}));
}

TEST_F(ClientConnection, HubAnnouncedDisconnectOnlyNotifies) {
    FakeHub hub(hubOptions());
    qxClient client(&events, "qxClient");
    ASSERT_FALSE(client.connect(qx::wm, 0));
    hub.run([&] { SendMessageA(client.getMessageWindow(), 2175, 0, 0); });
    EXPECT_EQ(events.events.back(), "disconnected");
    EXPECT_TRUE(client.isConnected());
}

TEST_F(ClientConnection, TwoClientsInOneProcessBothConnect) {
    FakeHub hub(hubOptions());
    RecordingCallback otherEvents;
    qxClient first(&events, "qxClient");
    qxClient second(&otherEvents, "qxClient");
    ASSERT_FALSE(first.connect(qx::wm, 0));
    ASSERT_FALSE(second.connect(qx::zel, 0));
    EXPECT_EQ(hub.messagesOf(49222).size(), 2u);
    first.routerPoll(1, 1, 2, false);
    second.routerPoll(2, 1, 2, false);
    ASSERT_EQ(hub.requests().size(), 2u);
    EXPECT_EQ(hub.requests()[0].text(), "RP 1 1 2 12");
    EXPECT_EQ(hub.requests()[1].text(), "RP 2 1 2 12");
}

}  // namespace
}  // namespace qxtest
