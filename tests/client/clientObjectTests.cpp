#include <algorithm>

#include "clientTestSupport.h"

namespace qxtest {
namespace {

using ClientObject = ClientTest;

TEST_F(ClientObject, CreatesItsWindowBoundToItselfInAPointerSizedSlot) {
    qxClient client(&events, "qxClient");
    HWND window = client.getMessageWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GetWindowLongPtrA(window, 0), reinterpret_cast<LONG_PTR>(&client));
    EXPECT_EQ(client.getWorkstation(), 12);
    EXPECT_TRUE(trace.contains(
        formatText("qxclient message window %d", static_cast<int>(reinterpret_cast<INT_PTR>(window)))));
}

TEST_F(ClientObject, TwoClientsHaveTheirOwnWindowClasses) {
    qxClient first(&events, "qxClient");
    qxClient second(&events, "qxClient");
    char firstClass[256] = {};
    char secondClass[256] = {};
    GetClassNameA(first.getMessageWindow(), firstClass, sizeof firstClass);
    GetClassNameA(second.getMessageWindow(), secondClass, sizeof secondClass);
    EXPECT_EQ(std::string(firstClass).rfind("qxClientMessageWindow_", 0), 0u);
    EXPECT_STRNE(firstClass, secondClass);
}

TEST_F(ClientObject, DestructionRemovesWindowAndClass) {
    HWND window;
    std::string className;
    {
        qxClient client(&events, "qxClient");
        window = client.getMessageWindow();
        char name[256] = {};
        GetClassNameA(window, name, sizeof name);
        className = name;
    }
    EXPECT_FALSE(IsWindow(window));
    WNDCLASSA again{};
    again.lpfnWndProc = DefWindowProcA;
    again.lpszClassName = className.c_str();
    EXPECT_NE(RegisterClassA(&again), 0) << "the class was unregistered";
    UnregisterClassA(className.c_str(), nullptr);
    EXPECT_TRUE(events.events.empty()) << "a client that never connected reports no disconnection";
}

TEST_F(ClientObject, CountersReportChangeOncePerChange) {
    qxClient client(nullptr, "qxClient");
    unsigned tx = 99, rx = 99;
    EXPECT_TRUE(client.counters(tx, rx));
    EXPECT_EQ(tx, 0u);
    EXPECT_EQ(rx, 0u);
    EXPECT_FALSE(client.counters(tx, rx));
    client.routerPoll(1, 1, 1, false);  // counted even when not connected
    EXPECT_TRUE(client.counters(tx, rx));
    EXPECT_EQ(tx, 1u);
    client.resetCounters();
    EXPECT_TRUE(client.counters(tx, rx));
    EXPECT_EQ(tx, 0u);
    EXPECT_FALSE(client.counters(tx, rx));
}

TEST_F(ClientObject, LimitAccessorsGiveDefaultsWithoutHub) {
    qxClient client(nullptr, "qxClient");
    EXPECT_EQ(client.maxString(), 256u);
    EXPECT_EQ(client.maxDatabases(), 10u);
    EXPECT_EQ(client.maxDevices(), 2147483647u);
    EXPECT_EQ(client.maxSources(), 2147483647u);
    EXPECT_EQ(client.maxIndexes(), 2147483647u);
}

TEST_F(ClientObject, LimitAccessorsAskTheHubEveryTime) {
    FakeHub hub(hubOptions());
    qxClient client(nullptr, "qxClient");
    ASSERT_FALSE(client.connect(qx::wm, 0));
    hub.clear();
    EXPECT_EQ(client.maxDevices(), 100000u);
    EXPECT_EQ(client.maxString(), 256u);  // the hub answers 0
    EXPECT_EQ(hub.messagesOf(49245).size(), 1u);
    EXPECT_EQ(client.maxDevices(), 100000u);
    EXPECT_EQ(hub.messagesOf(49245).size(), 2u);
}

TEST_F(ClientObject, WriteGateStopsWritesButNotPolls) {
    FakeHub hub(hubOptions());
    qxClient client(nullptr, "qxClient");
    ASSERT_FALSE(client.connect(qx::wm, 0));
    client.writeEnable(false);
    EXPECT_FALSE(client.isWriteEnabled());
    client.routerCrosspoint(3, 10, 7, ",---", false, 0);
    client.routerPoll(5, 1, 16, false);
    unsigned tx, rx;
    client.counters(tx, rx);
    EXPECT_EQ(tx, 1u);
    ASSERT_EQ(hub.requests().size(), 1u);
    EXPECT_EQ(hub.requests()[0].text(), "RP 5 1 16 12");
}

TEST_F(ClientObject, CloseHostOnExitPostsCloseBeforeLeaving) {
    FakeHub hub(hubOptions());
    {
        qxClient client(&events, "qxClient");
        ASSERT_FALSE(client.connect(qx::wm, 0));
        client.setCloseHostOnExit(true);
    }
    // The hub may already have handled the close when the leave arrives, or
    // the close may still wait in its queue: either way it came first.
    auto all = hub.messages();
    auto leave = std::find_if(all.begin(), all.end(), [](const auto& m) { return m.message == 2034 && m.lParam == 2; });
    ASSERT_NE(leave, all.end());
    const bool closedBefore = std::any_of(all.begin(), leave, [](const auto& m) { return m.message == WM_CLOSE; });
    EXPECT_TRUE(closedBefore || leave->closeQueued);
    EXPECT_EQ(events.events, (std::vector<std::string>{"connected", "disconnected"}));
}

TEST_F(ClientObject, WithoutCloseHostOnExitNothingIsPosted) {
    FakeHub hub(hubOptions());
    {
        qxClient client(&events, "qxClient");
        ASSERT_FALSE(client.connect(qx::wm, 0));
    }
    ASSERT_EQ(hub.messagesOf(49223).size(), 1u);
    EXPECT_FALSE(hub.messagesOf(49223)[0].closeQueued);
}

}  // namespace
}  // namespace qxtest
