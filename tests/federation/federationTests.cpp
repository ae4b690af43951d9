// Hubs of two or three workstations, each an orq-hub process in a window
// session of its own, joined through a broker of the test's own; their
// clients are zorvctl runs in their sessions.
#include <signal.h>

#include "FederationFixture.h"

namespace fedtest {
namespace {

TEST_F(FederationTest, ACrosspointFromWorkstationTwoSwitchesTheRouterOfWorkstationOne) {
    ASSERT_TRUE(joinTwo());
    auto atOwner = owner->watch("watch 1:3 --count 1 --timeout 20");
    EXPECT_TRUE(mirror->zorvctl("route 1 3 7").has("router 1 dest 3 <- src 7"));
    EXPECT_TRUE(atOwner->finish().has("router 1 dest 3 <- src 7"));
    EXPECT_TRUE(owner->zorvctl("query router 1 3").has("router 1 dest 3 <- src 7"));
}

TEST_F(FederationTest, APollIsAnsweredFromTheMirrorEvenWithTheOwnerGone) {
    ASSERT_TRUE(joinTwo());
    ASSERT_TRUE(mirror->zorvctl("route 1 2 9").has("router 1 dest 2 <- src 9"));
    owner->signal(SIGTERM);
    // The device list, as tools read it, says so.
    EXPECT_TRUE(mirror->eventually("devices", "'Main router', 16 sources, 8 destinations, offline"));
    const Result poll = mirror->zorvctl("poll router 1 1 2");
    EXPECT_TRUE(poll.has("router 1 dest 1 <- src 5\nrouter 1 dest 2 <- src 9")) << poll.output;
}

TEST_F(FederationTest, ALockHeldByWorkstationOneRefusesWorkstationTwo) {
    ASSERT_TRUE(joinTwo());
    ASSERT_EQ(owner->zorvctl("lock router 1 1").exitCode, 0);
    // The owner refuses and reports the state unchanged.
    mirror->zorvctl("route 1 1 12");
    EXPECT_TRUE(owner->logged("locked; change from workstation 2 refused"));
    EXPECT_TRUE(owner->zorvctl("query router 1 1").has("router 1 dest 1 <- src 5"));
    EXPECT_TRUE(mirror->zorvctl("query router 1 1").has("router 1 dest 1 <- src 5"));
}

TEST_F(FederationTest, ADeviceMessageForWorkstationTwoReachesItsClientsOnly) {
    Workstation& sender = join(1);
    Workstation& second = join(2);
    Workstation& third = join(3);
    ASSERT_TRUE(allOnline());
    auto atSecond = second.watch("config-watch --count 2 --timeout 20");
    auto atThird = third.watch("config-watch --count 1 --timeout 20");
    ASSERT_EQ(sender.zorvctl("message 2 1 'for two' 7").exitCode, 0);
    ASSERT_EQ(sender.zorvctl("message 0 1 'for all' 8").exitCode, 0);
    const Result two = atSecond->finish();
    EXPECT_TRUE(two.has("message from workstation 1 device 1: 'for two' (7)")) << two.output;
    EXPECT_TRUE(two.has("message from workstation 1 device 1: 'for all' (8)")) << two.output;
    // Messages of one sender arrive in order: the first one was not for the third.
    const Result three = atThird->finish();
    EXPECT_TRUE(three.has("'for all'")) << three.output;
    EXPECT_FALSE(three.has("'for two'")) << three.output;
}

TEST_F(FederationTest, AConfigurationChangeReachesEveryWorkstation) {
    Workstation& sender = join(1);
    Workstation& second = join(2);
    Workstation& third = join(3);
    ASSERT_TRUE(allOnline());
    auto atSecond = second.watch("config-watch --count 1 --timeout 20");
    auto atThird = third.watch("config-watch --count 1 --timeout 20");
    ASSERT_EQ(sender.zorvctl("config-change 'router 1 renamed'").exitCode, 0);
    EXPECT_TRUE(atSecond->finish().has("config change 'router 1 renamed'"));
    EXPECT_TRUE(atThird->finish().has("config change 'router 1 renamed'"));
}

// The owner is killed (its socket closes: the broker publishes its will at
// once) or stopped (hung: only the missing heartbeats tell).
class OwnerGone : public FederationTest, public ::testing::WithParamInterface<int> {};

TEST_P(OwnerGone, ItsDevicesAreOfflineWithinOneAndAHalfKeepAlives) {
    constexpr int keepAlive = 5;
    Workstation& ownerSide = join(add(1), "", keepAlive);
    Workstation& station = join(add(2), "", keepAlive);
    ASSERT_TRUE(allOnline());
    ownerSide.signal(GetParam());
    const DWORD gone = GetTickCount();
    ASSERT_TRUE(station.logged("its devices 1, 3 are offline"));
    EXPECT_LE(GetTickCount() - gone, keepAlive * 1500u);
    EXPECT_NE(station.zorvctl("--timeout 0.5 route 1 3 3").exitCode, 0);
    EXPECT_TRUE(station.logged("command for device 1 refused: its owner, workstation 1, is offline"));
}

INSTANTIATE_TEST_SUITE_P(Signals, OwnerGone, ::testing::Values(SIGKILL, SIGSTOP),
                         [](const auto& param) { return param.param == SIGKILL ? "killed" : "hung"; });

TEST_F(FederationTest, AfterTheBrokerRestartsTheMirrorCatchesUp) {
    ASSERT_TRUE(joinTwo());
    broker.stop();
    ASSERT_TRUE(mirror->eventually("devices", "offline"));
    // Local devices keep working; commands for remote ones fail with a log line.
    EXPECT_TRUE(owner->zorvctl("route 1 4 11").has("router 1 dest 4 <- src 11"));
    mirror->zorvctl("--timeout 0.5 route 1 4 2");
    EXPECT_TRUE(mirror->logged("command for device 1 refused: no broker link"));
    ASSERT_TRUE(broker.start());
    EXPECT_TRUE(mirror->eventually("query router 1 4", "router 1 dest 4 <- src 11"));
    EXPECT_TRUE(allOnline());
}

TEST_F(FederationTest, HubsStartedBeforeTheBrokerJoinWhenItComes) {
    broker.stop();
    join(1);
    join(2);
    ASSERT_TRUE(broker.start());
    EXPECT_TRUE(allOnline());
}

TEST_F(FederationTest, HubsLogInWithTheirPasswordFilesAndAWrongPasswordIsRefused) {
    broker.requirePasswords({{"hub1", "one"}, {"hub2", "two"}});
    ASSERT_TRUE(broker.start());
    const auto as = [&](const std::string& user, const std::string& password) {
        return "--broker-user " + user + " --broker-password-file " + broker.passwordFile(password);
    };
    join(add(1), as("hub1", "one"));
    Workstation& second = join(add(2), as("hub2", "two"));
    ASSERT_TRUE(allOnline());
    Workstation& wrong = join(add(3), as("hub2", "guess"));
    EXPECT_TRUE(wrong.logged("no broker link ("));
    EXPECT_TRUE(wrong.zorvctl("devices").has("'Main router', 16 sources, 8 destinations, offline"));
    EXPECT_FALSE(second.zorvctl("devices").has("offline"));
}

TEST_F(FederationTest, HubsJoinOverTlsWithTheBrokersCaFile) {
    const std::string ca = broker.requireTls();
    ASSERT_FALSE(ca.empty());
    ASSERT_TRUE(broker.start());
    for (const int number : {1, 2}) join(add(number), "--broker-ca-file " + ca);
    EXPECT_TRUE(allOnline());
}

// Commands of every kind from one workstation for a device of the other: the
// owner acts on them and the change comes back to the sender's clients.
TEST_F(FederationTest, CommandsOfEveryKindTravelToTheOwnerAndBack) {
    ASSERT_TRUE(joinTwo());
    EXPECT_TRUE(mirror->zorvctl("gpi 3 4 on").has("gpi 3 index 4 on"));
    EXPECT_TRUE(owner->zorvctl("info write 2 5 cue").has("info 2 slot 5 = 'cue'"));
    EXPECT_EQ(mirror->zorvctl("name set 1 2 'CAM 2 WIDE'").exitCode, 0);
    EXPECT_TRUE(owner->eventually("name get 1 2", "'CAM 2 WIDE'"));
    EXPECT_TRUE(mirror->eventually("name get 1 2", "'CAM 2 WIDE'"));
}

TEST_F(FederationTest, AHeldCommandForARemoteDeviceTravelsWhenReleased) {
    ASSERT_TRUE(joinTwo());
    EXPECT_TRUE(mirror->zorvctl("--hold route 1 2 6").has("held"));
    EXPECT_FALSE(owner->zorvctl("query router 1 2").has("<- src 6"));
    ASSERT_EQ(mirror->zorvctl("flush").exitCode, 0);
    EXPECT_TRUE(owner->eventually("query router 1 2", "router 1 dest 2 <- src 6"));
    EXPECT_TRUE(mirror->eventually("query router 1 2", "router 1 dest 2 <- src 6"));
}

TEST_F(FederationTest, AnInfodriverSlotIsDecidedByTheInfodriverOfTheOwningWorkstation) {
    Workstation& owning = add(2);
    auto infodriver = owning.program("infodriver-host", "-c '" + owning.facility() + "' -d 2");
    ASSERT_TRUE(infodriver->says("infodriver: device 2"));
    join(owning);
    Workstation& writer = join(1);
    ASSERT_TRUE(allOnline());
    EXPECT_TRUE(writer.zorvctl("info write 2 3 'on air'").has("info 2 slot 3 = 'on air'"));
    // The owner's hub reads the slot from its infodriver.
    EXPECT_TRUE(owning.zorvctl("query info 2 3").has("'on air'"));
}

TEST_F(FederationTest, WithoutABrokerEveryDeviceIsTheHubsOwn) {
    Workstation& alone = add(1);
    ASSERT_TRUE(alone.start(""));
    EXPECT_TRUE(alone.zorvctl("info write 2 1 local").has("info 2 slot 1 = 'local'"));
    EXPECT_FALSE(alone.zorvctl("devices").has("offline"));
}

}  // namespace
}  // namespace fedtest
