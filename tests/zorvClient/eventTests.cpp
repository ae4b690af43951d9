// Native callbacks reach the subscribers of the matching event with public
// types; what leaves a handler stays at the receiver; disposal.
#include "zorvClientTestSupport.h"

namespace zorvtest {
namespace {

class Events : public FacadeTest {
protected:
    void SetUp() override { connect(); }
    void deliver(UINT code, const std::string& text) { hub.sendText(window(), code, text); }
    const std::string stopped = "ZorvClient: RouterRevertiveEvent stopped by an exception: ";
};

TEST_F(Events, QueuedRevertivesArriveFromTheMessageLoop) {
    deliver(2244, "IR 4 2 0 'on air'");
    deliver(2244, "IR 4 3 0 ''");
    deliver(2244, "IR 4 5 0 '\xE9\x80'");
    deliver(2224, "RR 3 10 -5");
    deliver(2234, "GR 6 1 0 1");
    deliver(2234, "GR 6 2 0 0");
    deliver(2123, "DC 3 9 1");
    deliver(2123, "NS 3 7 'hi there' 0 0 55");
    ASSERT_TRUE(waitForEvents(8));
    EXPECT_EQ(events.lines, (Lines{"IR 4 2 [on air]", "IR 4 3 []", "IR 4 5 [\xC3\xA9\xE2\x82\xAC]", "RR 3 10 -5",
                                   "GR 6 1 true", "GR 6 2 false", "DC 3 9 1", "NS 7 3 [hi there] 55"}));
}

TEST_F(Events, ModesConfigurationChangesAndTheConnectionArriveAtOnce) {
    deliver(49170, "NB 3 7");
    deliver(49170, "NA 1 2");
    deliver(49170, "NI 4 5");
    deliver(49239, "layout 2");
    EXPECT_EQ(events.lines, (Lines{"MODE 7 3 5", "MODE 2 1 2", "MODE 5 4 1", "CC [layout 2]"}));
    events.lines.clear();
    client.disconnect();
    client.connect(IpcType::wm);
    PostMessageA(window(), 2175, 0, 0);
    ASSERT_TRUE(waitForEvents(3));
    EXPECT_EQ(events.lines, (Lines{"disconnected", "connected", "disconnected"}));
}

// The native client produces only some of what its callbacks can carry.
TEST_F(Events, TheBridgePassesEveryNumberAndCutsTextAtItsFirstZero) {
    auto& bridge = ZorvClientProbe::bridge(client);
    bridge.infoRevertive(4, 2, std::string("ab\0cd", 5));
    bridge.routerRevertive(-1, -2, -3);
    bridge.deviceMode(7, 3, static_cast<qx::redundancyState>(3));
    bridge.deviceMode(7, 3, static_cast<qx::redundancyState>(4));
    bridge.deviceMode(7, 3, static_cast<qx::redundancyState>(-9));
    bridge.pollError(9, 4);
    bridge.deviceMessage(-1, 3, std::string("x\0y", 3), -7);
    EXPECT_EQ(events.lines, (Lines{"IR 4 2 [ab]", "RR 4294967295 4294967294 -3", "MODE 7 3 3", "MODE 7 3 4",
                                   "MODE 7 3 -9", "PE 9 4", "NS -1 3 [x] -7"}));
}

TEST_F(Events, ANullTextPointerArrivesAsNullText) {
    ZorvClientProbe::infoReceiver(client)(4, 2, nullptr);
    ZorvClientProbe::messageReceiver(client)(1, 3, nullptr, 0);
    ZorvClientProbe::configReceiver(client)(nullptr);
    EXPECT_EQ(events.lines, (Lines{"IR 4 2 null", "NS 1 3 null 0", "CC null"}));
}

TEST(ZorvBridge, AnUnsetReferenceMakesItsSlotDoNothing) {
    unmanagedCallbacks bridge(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    bridge.disconnected();
    bridge.infoRevertive(1, 1, "x");
    bridge.deviceMode(1, 1, qx::tx);
    bridge.configChangeMessage("x");
}

// A reference to an empty handler counts as unset: nothing is thrown into the
// native client's dispatch.
TEST(ZorvBridge, AnEmptyHandlerMakesItsSlotDoNothing) {
    const ZorvClient::VoidDelegate none;
    const ZorvClient::InfoRevertiveDelegateUnmanaged noInfo;
    const ZorvClient::RouterRevertiveDelegate noRouter;
    const ZorvClient::GPIRevertiveDelegate noGpi;
    const ZorvClient::DatabaseChangeDelegate noDatabase;
    const ZorvClient::DeviceModeDelegateUnmanaged noMode;
    const ZorvClient::DeviceMessageDelegateUnmanaged noMessage;
    const ZorvClient::PollErrorDelegate noPollError;
    const ZorvClient::ConfigChangeMessageDelegateUnmanaged noConfig;
    unmanagedCallbacks bridge(&none, &none, &noInfo, &noRouter, &noGpi, &noDatabase, &noMode, &noMessage,
                              &noPollError, &noConfig);
    EXPECT_NO_THROW({
        bridge.connected();
        bridge.disconnected();
        bridge.infoRevertive(1, 1, "x");
        bridge.routerRevertive(1, 2, 3);
        bridge.gpiRevertive(1, 1, true);
        bridge.databaseChange(1, 1, 0);
        bridge.deviceMode(1, 1, qx::tx);
        bridge.deviceMessage(1, 1, "x", 0);
        bridge.pollError(1, 1);
        bridge.configChangeMessage("x");
    });
}

TEST_F(Events, AThrowingHandlerEndsItsRaiseAndTheDispatchCarriesOn) {
    Lines after;
    client.RouterRevertiveEvent += [](uint, uint, int) { throw std::runtime_error("boom"); };
    client.RouterRevertiveEvent += [&](uint, uint, int) { after.push_back("later handler"); };
    deliver(2224, "RR 3 10 7");
    deliver(2224, "RR 3 11 7");
    ASSERT_TRUE(waitForEvents(2));
    EXPECT_EQ(events.lines, (Lines{"RR 3 10 7", "RR 3 11 7"}));
    EXPECT_EQ(after, Lines{});
    EXPECT_EQ(trace.lines(), (Lines{stopped + "boom\n", stopped + "boom\n"}));
}

TEST_F(Events, AHandlerThatThrowsDuringConnectLeavesTheClientConnected) {
    client.disconnect();
    client.ConnectedEvent += [] { throw 42; };
    hub.clear();
    EXPECT_FALSE(client.connect(IpcType::wm));
    EXPECT_TRUE(client.isConnected());
    EXPECT_EQ(hub.messagesOf(49222).size(), 1u) << "registered after the callback";
    EXPECT_TRUE(trace.contains("ZorvClient: ConnectedEvent stopped by an exception: not a standard exception\n"));
}

TEST_F(Events, DisposingAConnectedClientRaisesDisconnectedOnce) {
    client.Dispose();
    client.Dispose();
    EXPECT_EQ(events.lines, Lines{"disconnected"});
    EXPECT_EQ(hub.messagesOf(49223).size(), 1u);
}

TEST_F(Events, AHandlerCannotDisposeItsOwnClient) {
    client.RouterRevertiveEvent += [&](uint, uint, int) { client.Dispose(); };
    deliver(2224, "RR 3 10 7");
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(trace.text(), stopped + "ZorvClient: Dispose is not possible inside one of its own events\n");
    EXPECT_TRUE(client.isConnected());
}

TEST_F(Events, DuringTeardownHandlersFindTheClientDisposed) {
    client.DisconnectedEvent += [&] { client.routerPoll(3, 1, 2); };
    client.Dispose();
    EXPECT_EQ(events.lines, Lines{"disconnected"});
    EXPECT_TRUE(trace.contains(
        "ZorvClient: DisconnectedEvent stopped by an exception: Cannot access a disposed object: ZorvClient\n"));
}

TEST_F(Events, EveryOperationFailsCleanlyAfterDispose) {
    client.Dispose();
    hub.clear();
    String text = u"kept";
    uint a = 0, b = 0;
    int version = 0;
    const std::function<void()> operations[] = {
        [&] { client.connect(); },
        [&] { client.counters(a, b); },
        [&] { client.routerCrosspoint(3, 10, 7); },
        [&] { client.infoWrite(4, 2, nullptr); },
        [&] { client.deviceProfile(3, version, a, b); },
        [&] { client.cacheValue(4, 2, text); },
    };
    for (const auto& operation : operations) EXPECT_THROW(operation(), ObjectDisposedError);
    EXPECT_THROW(client.sendBufferCommands(), std::logic_error);
    EXPECT_EQ(text, String(u"kept"));
    EXPECT_TRUE(hub.messages().empty());
    EXPECT_TRUE(hub.requests().empty());
}

}  // namespace
}  // namespace zorvtest
