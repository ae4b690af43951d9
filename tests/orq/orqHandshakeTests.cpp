// The hub's handshake: discovery, probe, limits, copy-data requests with
// their replies, WM_CLOSE, and what the hub records.
#include <gtest/gtest.h>

#include <cstring>

#include "OrqTestSupport.h"
#include "qxplatform.h"

namespace {

using orqtest::Facility;
using orqtest::FakeClient;

class HubHandshake : public ::testing::Test {
protected:
    void startHub(orq::HubOptions options) {
        hub_ = std::make_unique<orq::OrqHub>(std::move(options));
        const bool started = hub_->start();
        client_ = std::make_unique<FakeClient>(hub_->window());
        ASSERT_TRUE(started);
    }
    void startHub() { startHub(orqtest::testOptions(facility_)); }

    Facility facility_;
    std::unique_ptr<orq::OrqHub> hub_;
    std::unique_ptr<FakeClient> client_;
};

TEST_F(HubHandshake, AnswersTheSecondBroadcastWithItsWindowBeforeItReturns) {
    startHub();
    SendMessageA(HWND_BROADCAST, 49153, reinterpret_cast<WPARAM>(client_->window()), 0);
    // Hubs of other processes may answer too, where windows are shared.
    bool answered = false;
    for (const auto& answer : client_->plain(2032)) answered |= reinterpret_cast<HWND>(answer.wParam) == hub_->window();
    EXPECT_TRUE(answered);
}

TEST_F(HubHandshake, AnswersDiscoveryRequestsSentStraightToIt) {
    startHub();
    client_->sendWithWindow(2031);
    ASSERT_EQ(client_->plain(2032).size(), 1u);
    EXPECT_EQ(reinterpret_cast<HWND>(client_->plain(2032)[0].wParam), hub_->window());
}

TEST_F(HubHandshake, KeepsSilentOnDiscoveryItIsToldToIgnore) {
    auto options = orqtest::testOptions(facility_);
    options.answer2031 = false;
    options.answer49153 = false;
    startHub(options);
    client_->sendWithWindow(2031);
    client_->sendWithWindow(49153);
    EXPECT_TRUE(client_->plain(2032).empty());
    EXPECT_EQ(hub_->messages(2031).size(), 1u);
    EXPECT_EQ(hub_->messages(49153).size(), 1u);
}

TEST_F(HubHandshake, AnswersTheProbeWithTheConfiguredValue) {
    auto options = orqtest::testOptions(facility_);
    startHub(options);
    EXPECT_EQ(client_->send(49552, 0x5555, 0), 0xAAAA);
    hub_->stop();

    options.probeAnswer = 0x1234AAAA;
    startHub(options);
    EXPECT_EQ(client_->send(49552, 0x5555, 0), 0x1234AAAA);
}

TEST_F(HubHandshake, AnswersEachLimitQueryWithItsOwnLimit) {
    auto options = orqtest::testOptions(facility_);
    options.maxDevices = 500;
    options.maxIndexes = 4096;
    options.maxSources = 1024;
    options.maxDatabases = 4;
    options.maxString = 128;
    startHub(options);
    EXPECT_EQ(client_->send(49245, 0, 0), 500);
    EXPECT_EQ(client_->send(49233, 0, 0), 4096);
    EXPECT_EQ(client_->send(49234, 0, 0), 1024);
    EXPECT_EQ(client_->send(49243, 0, 0), 4);
    EXPECT_EQ(client_->send(49246, 0, 0), 128);
    EXPECT_EQ(client_->send(49235, 0, 0), 0);  // none set
}

TEST_F(HubHandshake, AHubThatDoesNotRecordKeepsNothingAndStillAnswers) {
    facility_.writeStandardDevices();
    auto options = orqtest::testOptions(facility_);
    options.record = false;
    startHub(options);
    char buffer[300] = {};
    EXPECT_EQ(client_->request(2041, 1, buffer, sizeof buffer, sizeof buffer), 1);
    EXPECT_EQ(client_->send(49552, 0x5555, 0), 0xAAAA);
    EXPECT_TRUE(hub_->events().empty());
}

TEST_F(HubHandshake, RepliesToARequestBeforeTheSendReturns) {
    facility_.writeStandardDevices();
    startHub();
    char buffer[300] = {};
    const LONG code = client_->request(2041, 1, buffer, sizeof buffer, sizeof buffer);
    EXPECT_EQ(code, 1);
    EXPECT_STREQ(buffer, "1 3 R 8 4 'Main router'");

    char unknown[300] = {};
    EXPECT_EQ(client_->request(2041, 9, unknown, sizeof unknown, sizeof unknown), 0);
    EXPECT_STREQ(unknown, "");
}

TEST_F(HubHandshake, RecordsMessagesAndRequestsInArrivalOrderWithTheirExactBlocks) {
    startHub();
    client_->send(49237, 7, 9);
    client_->command(2124, 5, "RP 5 1 16 12", false);
    client_->send(2040, 0, 0);

    const auto events = hub_->events();
    ASSERT_GE(events.size(), 3u);
    const auto& flush = events[events.size() - 3];
    const auto& poll = events[events.size() - 2];
    EXPECT_TRUE(flush.isMessage(49237));
    EXPECT_EQ(flush.wParam, 7u);
    EXPECT_EQ(flush.lParam, 9);
    ASSERT_TRUE(poll.isRequest(2124));
    EXPECT_EQ(poll.wParam, 5u);
    EXPECT_EQ(poll.requester, client_->window());
    ASSERT_EQ(poll.block.size(), 512u);
    EXPECT_EQ(poll.text(), "RP 5 1 16 12");
    EXPECT_EQ(poll.block[12], 0);
    EXPECT_TRUE(events.back().isMessage(2040));
}

TEST_F(HubHandshake, ClosesOnWmClose) {
    startHub();
    const HWND window = hub_->window();
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(hub_->waitFor([&] { return !hub_->running(); }, 5000));
    EXPECT_TRUE(hub_->closed());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(hub_->messages(WM_CLOSE).size(), 1u);
}

// A client that closes the hub on exit posts WM_CLOSE before it leaves and
// deregisters; the hub records that the WM_CLOSE was then already queued.
TEST_F(HubHandshake, RecordsWhetherAWmCloseWasQueuedWhenAClientLeaves) {
    startHub();
    client_->join();
    client_->sendWithWindow(2034, 2);  // leaves without closing first
    client_->join();

    // Run the leaving sequence while the hub's thread waits for this one
    // (inside its discovery answer), so that the posted WM_CLOSE stays
    // queued behind the sends.
    client_->onPlain = [&](const orqtest::PlainMessage& message) {
        if (message.message != 2032) return;
        PostMessageA(hub_->window(), WM_CLOSE, 0, 0);
        client_->sendWithWindow(2034, 2);
        client_->sendWithWindow(49223);
    };
    client_->sendWithWindow(49153);
    ASSERT_TRUE(hub_->waitFor([&] { return hub_->closed(); }, 5000));

    const auto leaves = hub_->leaves();
    ASSERT_EQ(leaves.size(), 3u);
    EXPECT_EQ(leaves[0].message, 2034u);
    EXPECT_FALSE(leaves[0].closeQueued);
    EXPECT_EQ(leaves[1].message, 2034u);
    EXPECT_TRUE(leaves[1].closeQueued);
    EXPECT_EQ(leaves[2].message, 49223u);
    EXPECT_TRUE(leaves[2].closeQueued);
    EXPECT_EQ(leaves[2].client, client_->window());
}

TEST_F(HubHandshake, TellsClientsOfDeviceModesAndDisconnection) {
    startHub();
    client_->join();
    hub_->announceDeviceMode(7, 3, "NB");
    hub_->announceDisconnect();
    ASSERT_TRUE(hub_->waitFor([&] { return !client_->plain(2175).empty(); }, 5000));
    EXPECT_EQ(client_->texts(49170), std::vector<std::string>{"NB 3 7"});
}

TEST_F(HubHandshake, StartsAgainAfterItWasClosed) {
    startHub();
    PostMessageA(hub_->window(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(hub_->waitForEnd(5000));
    ASSERT_TRUE(hub_->start());
    client_->setHub(hub_->window());
    EXPECT_EQ(client_->send(49552, 0x5555, 0), 0xAAAA);
}

}  // namespace
