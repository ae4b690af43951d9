// Hubs of two or three workstations joined through a broker of the test's own.
#include <signal.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "FederationFixture.h"
#include "HubLookups.h"
#include "InfodriverHost.h"
#include "qxplatform.h"
#include "zorvMessages.h"

namespace fedtest {
namespace {

using orqtest::FakeClient;
using namespace zorvmsg;

constexpr DWORD patience = mp::kPatience;

// A client of a workstation's hub, joined and registered for a device range.
std::unique_ptr<FakeClient> clientOf(Workstation& station, int device = 0, int first = 1, int last = 8) {
    auto client = std::make_unique<FakeClient>(station.hub->window());
    client->join();
    if (device != 0) client->registerRange(device, first, last);
    return client;
}

bool receives(Workstation& station, const FakeClient& client, UINT code, const std::string& text) {
    return station.hub->waitFor(
        [&] {
            const auto texts = client.texts(code);
            return std::find(texts.begin(), texts.end(), text) != texts.end();
        },
        patience);
}

TEST_F(FederationTest, ACrosspointFromWorkstationTwoSwitchesTheRouterOfWorkstationOne) {
    ASSERT_TRUE(joinTwo());
    auto atOwner = clientOf(*owner, 1);
    auto atMirror = clientOf(*mirror, 1);
    atMirror->command(routerCommand, 1, "RC 1 7 3 '' 2");
    EXPECT_TRUE(receives(*mirror, *atMirror, routerText, "RR 1 3 7"));
    EXPECT_TRUE(receives(*owner, *atOwner, routerText, "RR 1 3 7"));
    EXPECT_EQ(owner->hub->value(1, 3), "7");
}

TEST_F(FederationTest, APollIsAnsweredFromTheMirrorEvenWithTheOwnerGone) {
    ASSERT_TRUE(joinTwo());
    auto atMirror = clientOf(*mirror, 1);
    atMirror->command(routerCommand, 1, "RC 1 9 2 '' 2");
    ASSERT_TRUE(receives(*mirror, *atMirror, routerText, "RR 1 2 9"));
    owner->hub->stop();
    ASSERT_TRUE(mirror->hub->waitFor([&] { return !mirror->hub->deviceOnline(1); }, patience));
    char listed[512] = "0";  // the device list, as tools read it, says so
    ASSERT_EQ(atMirror->request(orq::deviceListRequest, 0, listed, sizeof listed, sizeof listed), 1);
    EXPECT_TRUE(std::string(listed).ends_with("'Main router' offline")) << listed;
    atMirror->clear();
    atMirror->command(routerCommand, 1, "RP 1 1 2 2");
    EXPECT_TRUE(receives(*mirror, *atMirror, routerText, "RR 1 1 5"));
    EXPECT_TRUE(receives(*mirror, *atMirror, routerText, "RR 1 2 9"));
}

TEST_F(FederationTest, ALockHeldByWorkstationOneRefusesWorkstationTwo) {
    ASSERT_TRUE(joinTwo());
    auto atOwner = clientOf(*owner, 1);
    auto atMirror = clientOf(*mirror, 1);
    atOwner->command(routerCommand, 1, "RL 1 1 1 1 1");
    atMirror->command(routerCommand, 1, "RC 1 12 1 '' 2");
    // The owner refuses and reports the state unchanged, on both sides.
    EXPECT_TRUE(receives(*mirror, *atMirror, routerText, "RR 1 1 5"));
    EXPECT_TRUE(owner->logged("locked; change from workstation 2 refused"));
    EXPECT_EQ(owner->hub->value(1, 1), "5");
    EXPECT_TRUE(atMirror->texts(routerText) == std::vector<std::string>{"RR 1 1 5"});
}

TEST_F(FederationTest, ADeviceMessageForWorkstationTwoReachesItsClientsOnly) {
    Workstation& sender = join(1);
    Workstation& second = join(2);
    Workstation& third = join(3);
    ASSERT_TRUE(allOnline());
    std::vector<std::unique_ptr<FakeClient>> clients;
    for (Workstation* station : {&sender, &second, &third}) {
        clients.push_back(clientOf(*station));
        clients.back()->sendWithWindow(subscribeNet);
    }
    clients[0]->command(deviceMessageCommand, 1, "NS 1 2 'for two' 1 0 7");
    clients[0]->command(deviceMessageCommand, 1, "NS 1 0 'for all' 1 0 8");
    EXPECT_TRUE(receives(second, *clients[1], generalText, "NS 1 1 'for two' 2 0 7"));
    ASSERT_TRUE(receives(third, *clients[2], generalText, "NS 1 1 'for all' 0 0 8"));
    // Messages of one sender arrive in order: the first one was not for the third.
    EXPECT_EQ(clients[2]->texts(generalText).size(), 1u);
}

TEST_F(FederationTest, AConfigurationChangeReachesEveryWorkstation) {
    Workstation& sender = join(1);
    Workstation& second = join(2);
    Workstation& third = join(3);
    ASSERT_TRUE(allOnline());
    auto atSender = clientOf(sender);
    auto atSecond = clientOf(second);
    auto atThird = clientOf(third);
    atSecond->sendWithWindow(subscribeNet);
    atThird->sendWithWindow(subscribeNet);
    const std::string change = "router 1 renamed";
    atSender->requestText(configChangeIn, static_cast<LONG>(change.size()), change);
    EXPECT_TRUE(receives(second, *atSecond, configChangeOut, change));
    EXPECT_TRUE(receives(third, *atThird, configChangeOut, change));
}

// The owner runs as orq-hub in a window session of its own and is killed
// (its socket closes: its will is published at once) or stopped (hung: only
// the missing keep-alives tell the broker).
class OwnerGone : public FederationTest, public ::testing::WithParamInterface<int> {};

TEST_P(OwnerGone, ItsDevicesAreOfflineWithinOneAndAHalfKeepAlives) {
    constexpr int keepAlive = 5;
    orqtest::Facility ownerFacility;
    writeDevices(ownerFacility);
    mp::ChildProcess ownerHub({"QX_SESSION=fedtest-owner-" + std::to_string(GetCurrentProcessId()),
                               mp::siblingProgram("orq-hub"), "-q", "-c",
                               qxplatform::hostPath(ownerFacility.directory()), "--broker", broker.url(),
                               "--facility", "test", "--workstation", "1", "--keepalive", std::to_string(keepAlive)},
                              "/usr/bin/env");
    Workstation& station = join(2, keepAlive);
    ASSERT_TRUE(station.hub->waitFor([&] { return station.hub->deviceOnline(1); }, patience));
    ::kill(static_cast<pid_t>(ownerHub.id()), GetParam());
    const DWORD gone = GetTickCount();
    ASSERT_TRUE(station.hub->waitFor([&] { return !station.hub->deviceOnline(1); }, patience));
    EXPECT_LE(GetTickCount() - gone, keepAlive * 1500u);
    EXPECT_TRUE(station.logged("its devices 1, 3 are offline"));
    auto atMirror = clientOf(station, 1);
    atMirror->command(routerCommand, 1, "RC 1 3 3 '' 2");
    EXPECT_TRUE(station.logged("command for device 1 refused: its owner, workstation 1, is offline"));
    ownerHub.kill();
}

INSTANTIATE_TEST_SUITE_P(Signals, OwnerGone, ::testing::Values(SIGKILL, SIGSTOP),
                         [](const auto& param) { return param.param == SIGKILL ? "killed" : "hung"; });

TEST_F(FederationTest, AfterTheBrokerRestartsTheMirrorCatchesUp) {
    ASSERT_TRUE(joinTwo());
    auto atOwner = clientOf(*owner, 1);
    auto atMirror = clientOf(*mirror, 1);
    broker.stop();
    ASSERT_TRUE(mirror->hub->waitFor([&] { return !mirror->hub->deviceOnline(1); }, patience));
    // Local devices keep working; commands for remote ones fail with a log line.
    atOwner->command(routerCommand, 1, "RC 1 11 4 '' 1");
    EXPECT_TRUE(receives(*owner, *atOwner, routerText, "RR 1 4 11"));
    atMirror->command(routerCommand, 1, "RC 1 2 4 '' 2");
    EXPECT_TRUE(mirror->logged("command for device 1 refused: no broker link"));
    ASSERT_TRUE(broker.start());
    EXPECT_TRUE(receives(*mirror, *atMirror, routerText, "RR 1 4 11"));
    EXPECT_TRUE(mirror->hub->waitFor([&] { return mirror->hub->deviceOnline(1); }, patience));
    EXPECT_EQ(mirror->hub->value(1, 4), "11");
}


// Commands of every kind from one workstation for a device of the other: the
// owner acts on them and the change comes back to the sender's clients.
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
    joinAs(1, "hub1", "one");
    Workstation& second = joinAs(2, "hub2", "two");
    ASSERT_TRUE(allOnline());
    Workstation& wrong = joinAs(3, "hub2", "guess");
    EXPECT_TRUE(wrong.hub->waitFor([&] { return wrong.logged("no broker link ("); }, patience));
    EXPECT_FALSE(wrong.hub->deviceOnline(1));
    EXPECT_TRUE(second.hub->deviceOnline(1));
}

TEST_F(FederationTest, HubsJoinOverTlsWithTheBrokersCaFile) {
    const std::string ca = broker.requireTls();
    ASSERT_FALSE(ca.empty());
    ASSERT_TRUE(broker.start());
    for (const int number : {1, 2}) {
        auto station = std::make_unique<Workstation>();
        station->number = number;
        station->caFile = ca;
        writeDevices(station->facility);
        startHub(std::move(station));
    }
    EXPECT_TRUE(allOnline());
}

TEST_F(FederationTest, CommandsOfEveryKindTravelToTheOwnerAndBack) {
    ASSERT_TRUE(joinTwo());
    struct Case {
        Workstation* from;
        UINT code;
        int device;
        std::string text;
        UINT answerCode;
        std::string answer;
    };
    const Case cases[] = {
        {mirror, gpiCommand, 3, "GS 3 4 1 2", gpiText, "GR 3 4 2 1"},
        {owner, infodriverCommand, 2, "IW 2 'cue' 5 1", infodriverText, "IR 2 5 1 'cue'"},
        {mirror, nameChange, 1, "RM 1 0 2 'CAM 2 WIDE' 0 2 0", generalText, "DC 1 2 0"},
    };
    for (const Case& c : cases) {
        auto client = clientOf(*c.from, c.device);
        client->command(c.code, c.device, c.text);
        EXPECT_TRUE(receives(*c.from, *client, c.answerCode, c.answer)) << c.text;
    }
    char name[64] = {};
    const std::uint16_t record[3] = {1, 0, 2};
    std::memcpy(name, record, sizeof record);
    EXPECT_EQ(clientOf(*mirror)->request(nameReadShort, 0, name, sizeof name, sizeof name), 1);
    EXPECT_STREQ(name, "CAM 2 WIDE");
}

TEST_F(FederationTest, AHeldCommandForARemoteDeviceTravelsWhenReleased) {
    ASSERT_TRUE(joinTwo());
    auto atMirror = clientOf(*mirror, 1);
    atMirror->command(routerCommand, 1, "RC 1 6 2 '' 2", false);
    EXPECT_EQ(owner->hub->value(1, 2), "0");
    atMirror->send(releaseHeldCommands, 0, 0);
    EXPECT_TRUE(receives(*mirror, *atMirror, routerText, "RR 1 2 6"));
}

TEST_F(FederationTest, AnInfodriverSlotIsDecidedByTheInfodriverOfTheOwningWorkstation) {
    auto owning = std::make_unique<Workstation>();
    owning->number = 2;
    writeDevices(owning->facility);
    infodriver::InfodriverOptions driverOptions;
    driverOptions.configDirectory = owning->facility.directory();
    driverOptions.devices = {2};
    infodriver::InfodriverHost infodriver(driverOptions);
    ASSERT_TRUE(infodriver.start());
    startHub(std::move(owning));
    // In one test session the infodriver must find its own workstation's hub.
    auto writing = std::make_unique<Workstation>();
    writing->number = 1;
    writing->discoverable = false;
    writeDevices(writing->facility);
    Workstation& writer = startHub(std::move(writing));
    ASSERT_TRUE(writer.hub->waitFor([&] { return writer.hub->deviceOnline(2); }, patience));
    auto client = clientOf(writer, 2, 1, 10);
    client->command(infodriverCommand, 2, "IW 2 'on air' 3 1");
    EXPECT_TRUE(receives(writer, *client, infodriverText, "IR 2 3 1 'on air'"));
    EXPECT_EQ(infodriver.slot(2, 3), "on air");
}

TEST_F(FederationTest, WithoutABrokerEveryDeviceIsTheHubsOwn) {
    orqtest::Facility facility;
    writeDevices(facility);
    orq::HubOptions options = orqtest::testOptions(facility);
    orq::OrqHub hub(options);
    ASSERT_TRUE(hub.start());
    FakeClient client(hub.window());
    client.join();
    client.registerRange(2, 1, 10);
    client.command(infodriverCommand, 2, "IW 2 'local' 1 1");
    ASSERT_TRUE(orqtest::waitForDeliveries(hub, client, infodriverText, 1));
    EXPECT_EQ(client.texts(infodriverText), std::vector<std::string>{"IR 2 1 1 'local'"});
    EXPECT_TRUE(hub.deviceOnline(2));
}

}  // namespace
}  // namespace fedtest
