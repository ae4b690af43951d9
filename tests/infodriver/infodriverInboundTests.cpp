// What the infodriver client makes of the messages its infodriver sends:
// slot-write requests and device messages through the queue and the drain,
// redundancy offers and demotions, the end of the connection.
#include <thread>

#include "infodriverTestSupport.h"

namespace qxtest {
namespace {

class Inbound : public InfodriverTest, public ::testing::WithParamInterface<qx::ipcType> {
protected:
    void SetUp() override {
        startInfodriver();
        driver = connectDriver(GetParam());
    }
    // Sends a request to the driver from the infodriver's thread by the
    // driver's transport, and waits until the driver has handled it.
    void deliver(UINT code, const std::string& text) {
        if (GetParam() == qx::wm) infodriver->sendText(driver->getMessageWindow(), code, text);
        else infodriver->sendTextZel(driver->getMessageWindow(), code, text);
    }
    HWND window() const { return driver->getMessageWindow(); }
    std::unique_ptr<qxInfodriver> driver;
};

TEST_P(Inbound, ASlotWriteRequestReachesTheCallbackFromTheDrain) {
    SendMessageA(window(), 2728, 12, reinterpret_cast<LPARAM>("new text"));
    EXPECT_TRUE(events.events.empty()) << "queued, not called back during the send";
    ASSERT_TRUE(pumpUntil([&] { return events.events.size() == 1; }));
    EXPECT_EQ(events.events[0], "write 7 12 [new text]");
    unsigned tx = 0, rx = 0;
    driver->counters(tx, rx);
    EXPECT_EQ(rx, 1u);
}

TEST_P(Inbound, RequestsArriveByTheTransport) {
    std::thread sender([&] { deliver(2728, "by transport"); });
    ASSERT_TRUE(pumpUntil([&] { return events.events.size() == 1; }));
    sender.join();
    EXPECT_EQ(events.events[0], "write 7 0 [by transport]");
}

TEST_P(Inbound, ADeviceMessageForThisDeviceAndWorkstationIsDelivered) {
    SendMessageA(window(), 2121, 0, reinterpret_cast<LPARAM>("NS 7 12 'hello there' 4 two 'three'"));
    ASSERT_TRUE(pumpUntil([&] { return events.events.size() == 1; }));
    EXPECT_EQ(events.events[0], "message 4 7 [hello there] [two] [three]");
}

struct RefusedMessage {
    const char* name;
    const char* text;
    const char* traceLine;  // "" for none
};

class RefusedDeviceMessages : public InfodriverTest, public ::testing::WithParamInterface<RefusedMessage> {};

TEST_P(RefusedDeviceMessages, EndTheDrainAndLeaveLaterRecordsForTheNext) {
    startInfodriver();
    auto driver = connectDriver(qx::wm);
    HWND window = driver->getMessageWindow();
    SendMessageA(window, 2121, 0, reinterpret_cast<LPARAM>(GetParam().text));
    SendMessageA(window, 2728, 3, reinterpret_cast<LPARAM>("after"));
    SendMessageA(window, 2334, 0, 0);  // one drain: it ends at the refused message
    EXPECT_TRUE(events.events.empty());
    const std::string expected = GetParam().traceLine;
    EXPECT_EQ(trace.text(), expected.empty() ? "" : "qxInfodriver: " + expected + "\n");
    ASSERT_TRUE(pumpUntil([&] { return events.events.size() == 1; }));
    EXPECT_EQ(events.events[0], "write 7 3 [after]");
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RefusedDeviceMessages,
    ::testing::Values(RefusedMessage{"OtherDevice", "NS 8 12 'x' 4 a b", ""},
                      RefusedMessage{"OtherWorkstation", "NS 7 13 'x' 4 a b", ""},
                      RefusedMessage{"NoWorkstation", "NS 7 0 'x' 4 a b", "Workstation number invalid (< 1): 0"},
                      RefusedMessage{"BadSender", "NS 7 12 'x' 70000 a b",
                                     "Workstation number invalid (> MAX_WORKSTATIONS): 70000"},
                      RefusedMessage{"TooFewTokens", "NS 7 12 'x' 4 a", ""},
                      RefusedMessage{"DeviceZero", "NS 0 12 'x' 4 a b", "Device Number of out range (less than 1)"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_P(Inbound, OffersOfTxDependOnTheMode) {
    EXPECT_EQ(SendMessageA(window(), 2181, 0, 0), 1);
    EXPECT_EQ(SendMessageA(window(), 2179, 0, 0), 0);
    driver->setRedundancyMode(qx::secondary, false, false);
    EXPECT_EQ(SendMessageA(window(), 2181, 0, 0), 0);
    EXPECT_EQ(SendMessageA(window(), 2179, 0, 0), 1);
    EXPECT_EQ(SendMessageA(window(), 2190, 0, 0), 0);
    EXPECT_EQ(driver->getState(), qx::rx);
    events.events.clear();
    EXPECT_EQ(SendMessageA(window(), 2180, 0, 0), 0) << "mode 2 refuses tx";
    EXPECT_EQ(driver->getState(), qx::rx);
    EXPECT_TRUE(events.events.empty());
    driver->setRedundancyMode(qx::primary, false, false);
    EXPECT_EQ(SendMessageA(window(), 2180, 0, 0), 1);
    EXPECT_EQ(driver->getState(), qx::tx);
    EXPECT_EQ(SendMessageA(window(), 2190, 0, 0), 0) << "always demotes";
    EXPECT_EQ(driver->getState(), qx::rx);
    EXPECT_EQ(events.events, (std::vector<std::string>{"state 7 2", "state 7 1"}));
}

TEST_P(Inbound, SettingTheStateTellsTheInfodriver) {
    driver->setRedundancyState(qx::tx, true);
    driver->setRedundancyState(qx::rx, false);
    driver->setRedundancyState(qx::tx, false);
    driver->setRedundancyState(7, false);
    driver->setRedundancyMode(qx::secondary, true, false);
    driver->setRedundancyMode(9, true, false);
    std::vector<WPARAM> sent;
    for (const auto& m : infodriver->messagesOf(2733)) sent.push_back(m.wParam);
    EXPECT_EQ(sent, (std::vector<WPARAM>{3, 1, 2, 1}));
    EXPECT_EQ(events.events, (std::vector<std::string>{"state 7 2", "state 7 1", "state 7 2", "state 7 1"}));
}

TEST_P(Inbound, TheInfodriversGoodbyeOnlyTellsTheCallback) {
    SendMessageA(window(), 2175, 0, 0);
    EXPECT_EQ(events.events, (std::vector<std::string>{"disconnected 7"}));
    EXPECT_TRUE(driver->isConnected());
}

TEST_P(Inbound, TheObjectMayBeDestroyedFromInsideItsCallback) {
    events.onEvent = [&](const std::string& event) {
        if (event.rfind("write", 0) == 0) driver.reset();
    };
    SendMessageA(window(), 2728, 1, reinterpret_cast<LPARAM>("first"));
    SendMessageA(window(), 2728, 2, reinterpret_cast<LPARAM>("second"));
    ASSERT_TRUE(pumpUntil([&] { return driver == nullptr; }));
    qxplatform::pumpPending();
    EXPECT_EQ(events.events, (std::vector<std::string>{"write 7 1 [first]"}));
    EXPECT_EQ(infodriver->messagesOf(2725).size(), 1u) << "destruction still says goodbye";
}

TEST_P(Inbound, TheObjectMayBeDestroyedFromInsideARedundancyChange) {
    events.onEvent = [&](const std::string&) { driver.reset(); };
    EXPECT_EQ(SendMessageA(window(), 2180, 0, 0), 1);
    EXPECT_EQ(driver, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Transports, Inbound, ::testing::Values(qx::wm, qx::zel),
                         [](const auto& param) { return param.param == qx::wm ? "wm" : "zel"; });

}  // namespace
}  // namespace qxtest
