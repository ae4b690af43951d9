#include <cstring>

#include "clientTestSupport.h"

namespace qxtest {
namespace {

class ClientCommands : public ClientTest {
protected:
    FakeHub hub{withExtent()};
    qxClient client{&events, "qxClient"};

    static FakeHub::Options withExtent() {
        auto options = hubOptions();
        options.answers[49232] = (100 << 16) | 1;
        return options;
    }

    void SetUp() override {
        ASSERT_FALSE(client.connect(qx::wm, 0));
        hub.clear();
        trace.clear();
    }
    FakeHub::Request only() {
        auto requests = hub.requests();
        EXPECT_EQ(requests.size(), 1u);
        return requests.empty() ? FakeHub::Request{} : requests[0];
    }
    unsigned sent() {
        unsigned tx, rx;
        client.counters(tx, rx);
        return tx;
    }
    WPARAM window16() const { return reinterpret_cast<UINT_PTR>(client.getMessageWindow()) & 0xFFFF; }
};

TEST_F(ClientCommands, CrosspointPutsTheSourceBeforeTheDestination) {
    client.routerCrosspoint(3, 10, 7, ",---", true, 0);
    auto request = only();
    EXPECT_EQ(request.text(), "RC 3 7 10 ',---' 12");
    EXPECT_EQ(request.code, 2124u);
    EXPECT_EQ(request.parameter, 3u | 0x8000u);
    EXPECT_EQ(sent(), 1u);
}

TEST_F(ClientCommands, EveryCommandText) {
    client.infoWrite(4, 2, "", false, 0);
    client.infoWrite(4, 2, "a b", false, 33);
    client.gpiSwitch(6, 1, true, false, 0);
    client.gpiSwitch(6, 2, false, true, 0);
    client.routerLock(3, 1, 5, true, false, 0);
    client.infoLock(4, 2, 2, false, true, 9);
    client.gpiLock(6, 1, 1, true, false, 0);
    client.routerPoll(5, 1, 16, false);
    client.infoQuery(4, 1, 3, true);
    client.gpiPoll(6, 1, 8, false);
    client.routerFile(3);
    client.gpiFile(6);
    client.deviceMessage(0, 3, "hello there", 77);
    const auto window = static_cast<unsigned>(reinterpret_cast<UINT_PTR>(client.getMessageWindow()));
    std::vector<std::string> texts;
    std::vector<std::pair<UINT, WPARAM>> codes;
    for (const auto& r : hub.requests()) {
        texts.push_back(r.text());
        codes.emplace_back(r.code, r.parameter);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "IW 4 '' 2 12", "IW 4 'a b' 2 33", "GS 6 1 1 12", "GS 6 2 0 12", "RL 3 1 5 1 12",
                         "IL 4 2 2 0 9", "GL 6 1 1 1 12", "RP 5 1 16 12", "IQ 4 1 3 12", "GP 6 1 8 12", "RF 3",
                         "GF 6", formatText("NS 3 0 'hello there' 12 %u 77", window)}));
    EXPECT_EQ(codes, (std::vector<std::pair<UINT, WPARAM>>{
                         {2144, 4}, {2144, 4}, {2134, 6}, {2134, 0x8006}, {2124, 3}, {2144, 0x8004}, {2134, 6},
                         {2124, 5}, {2144, 0x8004}, {2134, 6}, {2124, 3}, {2134, 6}, {2121, 3}}));
    EXPECT_EQ(sent(), 13u);
}

TEST_F(ClientCommands, HighDeviceNumbersShareTheNowBit) {
    client.routerPoll(32768 + 5, 1, 1, false);
    EXPECT_EQ(only().parameter, 0x8005u);
}

TEST_F(ClientCommands, FailedChecksSendNothingAndTraceOnce) {
    client.routerCrosspoint(0, 10, 7, ",---", false, 0);
    client.infoWrite(4, 2, "x", false, 70000);
    client.routerPoll(5, 3, 1, false);
    client.deviceMessage(0, 3, std::string(256, 'm'), 0);
    EXPECT_TRUE(hub.requests().empty());
    EXPECT_EQ(sent(), 0u);
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{
                                 "qxClient: Device Number of out range (less than 1)\n",
                                 "qxClient: Workstation number invalid (> MAX_WORKSTATIONS): 70000\n",
                                 "qxClient: Invalid range (start>end)\n",
                                 "qxClient: Note: string exceeds maximum: " + std::string(256, 'm') + "\n"}));
}

class LongCommandTexts : public ClientTest, public ::testing::WithParamInterface<qx::ipcType> {
protected:
    FakeHub hub{hubOptionsWithCacheOn()};
    qxClient client{&events, "qxClient"};
};

// Window messages carry a 512-byte block; the interface library carries the
// whole buffer, so only wm refuses a longer text.
TEST_P(LongCommandTexts, AreRefusedOnlyWhereTheBlockLimitsThem) {
    ASSERT_FALSE(client.connect(GetParam(), 0));
    client.setStringLimit(2000);
    hub.clear();
    trace.clear();
    const std::string value(600, 'v');
    client.infoWrite(4, 1, value, false, 0);
    client.cacheIndex(4, 1, 2, value);
    client.databaseModify(4, 1, 0, value, false, false, 0);
    unsigned tx, rx;
    client.counters(tx, rx);
    if (GetParam() == qx::wm) {
        EXPECT_TRUE(hub.requests().empty());
        EXPECT_EQ(tx, 0u);
        ASSERT_EQ(trace.lines().size(), 3u);
        for (const auto& line : trace.lines())
            EXPECT_EQ(line.rfind("qxClient: Command not sent, longer than 511 bytes", 0), 0u) << line;
        client.infoWrite(4, 1, std::string(490, 'v'), false, 0);  // 507 bytes: fits
        EXPECT_EQ(hub.requests().size(), 1u);
        return;
    }
    std::vector<std::string> texts;
    for (const auto& request : hub.requests()) texts.push_back(request.text());
    const std::string rm = "RM 4 0 1 '" + value + "' 0 12 0";
    EXPECT_EQ(texts, (std::vector<std::string>{"IW 4 '" + value + "' 1 12", "DI 4 1 2 '" + value + "'", rm, rm}));
    EXPECT_EQ(tx, 2u);
    EXPECT_TRUE(trace.lines().empty());
}

INSTANTIATE_TEST_SUITE_P(Transports, LongCommandTexts, ::testing::Values(qx::wm, qx::zel));

TEST_F(ClientCommands, ExtremeNumbersAndTheLongestTextFormatWhole) {
    const std::string message(255, 'm');
    client.deviceMessage(65535, 100000, message, -2147483647 - 1);
    const auto window = static_cast<unsigned>(reinterpret_cast<UINT_PTR>(client.getMessageWindow()));
    EXPECT_EQ(only().text(), formatText("NS 100000 65535 '%s' 12 %u -2147483648", message.c_str(), window));
    hub.clear();
    client.routerCrosspoint(100000, 100000, -600, std::string(255, ','), false, 65535);
    EXPECT_EQ(only().text(), "RC 100000 -600 100000 '" + std::string(255, ',') + "' 65535");
}

TEST_F(ClientCommands, DeviceProfileReadsTheReplyText) {
    hub.onRequest([](const FakeHub::Request&, unsigned char* block, size_t) {
        std::strcpy(reinterpret_cast<char*>(block), "7 2 x 64 32 'Main router'");
        return LRESULT{1};
    });
    int version = -1, sources = -1, dests = -1;
    std::string name = "unchanged";
    client.deviceProfile(7, version, sources, dests, name);
    EXPECT_EQ(hub.requests()[0].code, 2041u);
    EXPECT_EQ(version, 2);
    EXPECT_EQ(sources, 64);
    EXPECT_EQ(dests, 32);
    EXPECT_EQ(name, "Main router");
    client.deviceProfile(8, version, sources, dests, name);  // a reply for another device
    EXPECT_EQ(version, 0);
    EXPECT_EQ(name, "Main router");
    EXPECT_EQ(sent(), 0u);
}

TEST_F(ClientCommands, FlushAsksTheHubToReleaseHeldCommands) {
    client.sendBufferedCommands();
    EXPECT_EQ(hub.messagesOf(49237).size(), 1u);
}

TEST_F(ClientCommands, RegistrationRecords) {
    client.revertiveRegister(5, 1, 100, true, 1);
    client.revertiveRegister(5, 1, 100, false, 1);
    client.revertiveRegister(40000, 1, 2, true, 1);
    client.revertiveDeregister(40000, 1, 2);
    client.revertiveDeregister(70000, 1, 2);
    auto requests = hub.requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[0].code, 2274u);
    EXPECT_EQ(requests[0].parameter, window16());
    EXPECT_EQ(bytes(requests[0].block, 6), std::string("\x05\x00\x01\x00\x64\x00", 6));
    EXPECT_EQ(bytes(requests[1].block, 6), std::string("\x05\x80\x01\x00\x64\x00", 6));
    EXPECT_EQ(requests[2].code, 49855u);
    EXPECT_EQ(bytes(requests[2].block, 16),
              std::string("\x40\x9c\x00\x00\x01\x00\x00\x00\x02\x00\x00\x00\x01\x00\x00\x00", 16));
    EXPECT_EQ(requests[3].code, 2276u);
    EXPECT_EQ(bytes(requests[3].block, 6), std::string("\x40\x9c\x01\x00\x02\x00", 6));
    EXPECT_EQ(requests[4].code, 49856u);
    EXPECT_EQ(bytes(requests[4].block, 12), std::string("\x70\x11\x01\x00\x01\x00\x00\x00\x02\x00\x00\x00", 12));
    EXPECT_EQ(sent(), 0u);
}

TEST_F(ClientCommands, WholeDeviceDeregistrationAndExtent) {
    client.revertiveDeregister(5, 0, 7);
    client.revertiveDeregisterAll();
    auto deregistrations = hub.messagesOf(2275);
    ASSERT_EQ(deregistrations.size(), 2u);
    EXPECT_EQ(deregistrations[0].wParam, reinterpret_cast<WPARAM>(client.getMessageWindow()));
    EXPECT_EQ(deregistrations[0].lParam, 5);
    EXPECT_EQ(deregistrations[1].lParam, 0);
    EXPECT_TRUE(hub.requests().empty());
}

TEST_F(ClientCommands, ExtentSplitsTheAnswer) {
    int min = -1, max = -1;
    EXPECT_FALSE(client.getClientRegistrationExtent(5, min, max));
    EXPECT_EQ(min, 1);
    EXPECT_EQ(max, 100);
    EXPECT_EQ(hub.messagesOf(49232)[0].wParam, 5u);
    qxClient unconnected(nullptr, "qxClient");
    EXPECT_TRUE(unconnected.getClientRegistrationExtent(5, min, max));
    EXPECT_EQ(min, 0);
    EXPECT_EQ(max, 0);
}

}  // namespace
}  // namespace qxtest
