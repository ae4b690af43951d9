// The device model: commands change state and report it to the registered
// clients only; holding, polls, queries, locks, file re-reads, registration
// and device messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include "DeafThread.h"
#include "OrqTestSupport.h"
#include "infodriverWindowClass.h"
#include "qxplatform.h"
#include "zorvwm32.h"

namespace {

using orqtest::Facility;
using orqtest::FakeClient;
using Texts = std::vector<std::string>;
using Extent = std::pair<int, int>;  // lowest, highest

constexpr UINT routerCode = 2124;
constexpr UINT infodriverCode = 2144;
constexpr UINT gpiCode = 2134;
constexpr UINT deviceMessageCode = 2121;

class HubDevices : public ::testing::Test {
protected:
    void SetUp() override {
        facility_.writeStandardDevices();
        startHub(orqtest::testOptions(facility_));
    }
    void startHub(orq::HubOptions options) {
        hub_ = std::make_unique<orq::OrqHub>(std::move(options));
        const bool started = hub_->start();
        first_ = std::make_unique<FakeClient>(hub_->window());
        second_ = std::make_unique<FakeClient>(hub_->window());
        ASSERT_TRUE(started);
        first_->join();
        second_->join();
    }
    LRESULT extent(int device) { return first_->send(49232, static_cast<WPARAM>(device), 0); }

    Facility facility_;
    std::unique_ptr<orq::OrqHub> hub_;
    std::unique_ptr<FakeClient> first_;
    std::unique_ptr<FakeClient> second_;
};

TEST_F(HubDevices, LoadsTheFacilityFromItsDeviceFiles) {
    EXPECT_EQ(hub_->deviceCount(), 3);
    EXPECT_EQ(hub_->value(1, 2), "6");
    EXPECT_EQ(hub_->value(1, 3), "0");
    EXPECT_EQ(hub_->value(2, 1), "hello world");
    EXPECT_EQ(hub_->value(3, 2), "1");
    EXPECT_EQ(hub_->value(3, 1), "0");
}

TEST_F(HubDevices, ReportsACrosspointOnlyToTheWindowsRegisteredForIt) {
    first_->registerRange(1, 1, 4);
    second_->registerRange(1, 3, 3);
    first_->command(routerCode, 1, "RC 1 7 2 ',---' 12");  // source 7 to destination 2
    first_->command(routerCode, 1, "RC 1 8 3 ',---' 12");
    ASSERT_TRUE(orqtest::waitForDeliveries(*hub_, *second_, 2224, 1));
    ASSERT_TRUE(orqtest::drain(*hub_, *first_));

    EXPECT_EQ(first_->texts(), (Texts{"RR 1 2 7", "RR 1 3 8"}));
    EXPECT_EQ(second_->texts(), (Texts{"RR 1 3 8"}));
    EXPECT_EQ(hub_->value(1, 2), "7");
}

TEST_F(HubDevices, ReportsSlotTextsAndGpiStatesUnderTheirOwnIds) {
    first_->registerRange(2, 1, 10);
    first_->registerRange(3, 1, 6);
    first_->command(infodriverCode, 2, "IW 2 'on air' 4 12");
    first_->command(gpiCode, 3, "GS 3 5 1 12");
    first_->command(infodriverCode, 2, "IW 2 '' 4 12");
    ASSERT_TRUE(orqtest::drain(*hub_, *first_));
    EXPECT_EQ(first_->texts(2244), (Texts{"IR 2 4 12 'on air'", "IR 2 4 12 ''"}));
    EXPECT_EQ(first_->texts(2234), (Texts{"GR 3 5 12 1"}));
}

TEST_F(HubDevices, RefusesCommandsForIndexesOrKindsTheDeviceDoesNotHave) {
    first_->registerRange(1, 1, 4);
    first_->command(routerCode, 1, "RC 1 7 5 ',---' 12");   // no destination 5
    first_->command(routerCode, 1, "RC 1 9 1 ',---' 12");   // no source 9
    first_->command(gpiCode, 1, "GS 1 1 1 12");             // router, not a GPI unit
    ASSERT_TRUE(orqtest::drain(*hub_, *first_));
    EXPECT_TRUE(first_->texts().empty());
    EXPECT_EQ(hub_->value(1, 1), "5");
}

TEST_F(HubDevices, HoldsCommandsWithoutTheNowBitUntilFlushed) {
    first_->registerRange(1, 1, 4);
    first_->command(routerCode, 1, "RC 1 7 2 ',---' 12", false);
    first_->command(routerCode, 1, "RC 1 8 2 ',---' 12", false);
    first_->command(routerCode, 1, "RC 1 3 1 ',---' 12", true);  // acts at once, ahead of the held ones
    EXPECT_EQ(hub_->value(1, 2), "6");
    EXPECT_EQ(hub_->value(1, 1), "3");

    EXPECT_EQ(first_->send(49237, 0, 0), 2);
    EXPECT_EQ(hub_->value(1, 2), "8");
    ASSERT_TRUE(orqtest::drain(*hub_, *first_));
    EXPECT_EQ(first_->texts(), (Texts{"RR 1 1 3", "RR 1 2 7", "RR 1 2 8"}));
}

TEST_F(HubDevices, ReleasesHeldCommandsByItselfAfterTheHoldDelay) {
    auto options = orqtest::testOptions(facility_);
    options.holdDelayMs = 20;
    startHub(options);
    first_->registerRange(1, 1, 4);
    first_->command(routerCode, 1, "RC 1 7 2 ',---' 12", false);
    ASSERT_TRUE(orqtest::waitForDeliveries(*hub_, *first_, 2224, 1));
    EXPECT_EQ(first_->texts(), (Texts{"RR 1 2 7"}));
}

// A device number of 32768 or more fills bit 15 of the parameter, so the
// command counts as sent with the now bit; the device comes from the text.
TEST_F(HubDevices, TakesTheDeviceFromTheTextWhenItFillsTheNowBit) {
    facility_.write("dev_40000.ini", "[Device]\nType=router\nSources=4\nDestinations=2\n");
    first_->command(routerCode, 40000, "RF 40000", false);
    std::uint32_t record[4] = {40000, 1, 2, 1};
    first_->request(49855, static_cast<LONG>(reinterpret_cast<UINT_PTR>(first_->window()) & 0xFFFF), record,
                    sizeof record);
    ASSERT_TRUE(orqtest::drain(*hub_, *first_));
    first_->clear();

    first_->command(routerCode, 40000, "RC 40000 3 2 ',---' 12", false);
    EXPECT_EQ(hub_->value(40000, 2), "3");
    ASSERT_TRUE(orqtest::waitForDeliveries(*hub_, *first_, 2224, 1));
    EXPECT_EQ(first_->texts(), (Texts{"RR 40000 2 3"}));
}

TEST_F(HubDevices, PollReportsTheRangeToEveryRegisteredClient) {
    first_->registerRange(1, 1, 4);
    second_->registerRange(1, 2, 2);
    second_->command(routerCode, 1, "RP 1 1 100 12");  // cut to the router's four destinations
    ASSERT_TRUE(orqtest::drain(*hub_, *first_));
    ASSERT_TRUE(orqtest::drain(*hub_, *second_));
    EXPECT_EQ(first_->texts(), (Texts{"RR 1 1 5", "RR 1 2 6", "RR 1 3 0", "RR 1 4 0"}));
    EXPECT_EQ(second_->texts(), (Texts{"RR 1 2 6"}));
}

TEST_F(HubDevices, QueryAnswersTheRequesterOnly) {
    first_->registerRange(3, 1, 6);
    second_->command(gpiCode, 3, "GQ 3 1 2 12");
    ASSERT_TRUE(orqtest::drain(*hub_, *second_));
    ASSERT_TRUE(orqtest::drain(*hub_, *first_));
    EXPECT_EQ(second_->texts(), (Texts{"GR 3 1 0 0", "GR 3 2 0 1"}));
    EXPECT_TRUE(first_->texts().empty());
}

TEST_F(HubDevices, LockRefusesChangesFromOtherWorkstations) {
    first_->registerRange(1, 1, 4);
    first_->command(routerCode, 1, "RL 1 1 2 1 5");
    first_->command(routerCode, 1, "RC 1 3 1 ',---' 6");  // refused: the state is reported unchanged
    first_->command(routerCode, 1, "RC 1 4 1 ',---' 5");  // the locking workstation may switch
    first_->command(routerCode, 1, "RC 1 2 3 ',---' 6");  // not locked
    first_->command(routerCode, 1, "RL 1 1 2 0 6");       // any workstation unlocks
    first_->command(routerCode, 1, "RC 1 7 1 ',---' 6");
    ASSERT_TRUE(orqtest::drain(*hub_, *first_));
    EXPECT_EQ(first_->texts(), (Texts{"RR 1 1 5", "RR 1 1 4", "RR 1 3 2", "RR 1 1 7"}));
}

TEST_F(HubDevices, FileCommandRereadsTheDevice) {
    first_->registerRange(3, 1, 6);
    first_->command(gpiCode, 3, "GS 3 1 1 12");
    facility_.write("dev_003.ini", "[Device]\nType=gpi\nName=GPI unit\nVersion=2\nIndexes=2\n[GPIs]\n2=0\n");
    first_->command(gpiCode, 3, "GF 3", false);  // never held
    ASSERT_TRUE(orqtest::drain(*hub_, *first_));
    EXPECT_EQ(first_->texts(), (Texts{"GR 3 1 12 1", "GR 3 1 0 0", "GR 3 2 0 0"}));
    EXPECT_EQ(hub_->value(3, 1), "0");
}

TEST_F(HubDevices, RegistrationOverwritesAddsDeregistersAndReportsItsExtent) {
    auto range = [](LRESULT answer) { return Extent{LOWORD(answer), HIWORD(answer)}; };
    const LONG window = static_cast<LONG>(reinterpret_cast<UINT_PTR>(first_->window()) & 0xFFFF);

    first_->registerRange(2, 1, 2);
    EXPECT_EQ(range(extent(2)), (Extent{1, 2}));
    first_->registerRange(2, 4, 5, false);  // adds
    EXPECT_EQ(range(extent(2)), (Extent{1, 5}));
    first_->registerRange(2, 5, 6, true);  // replaces
    EXPECT_EQ(range(extent(2)), (Extent{5, 6}));
    first_->deregisterRange(2, 5, 5);
    EXPECT_EQ(range(extent(2)), (Extent{6, 6}));
    std::uint32_t wide[4] = {2, 7, 10, 0};
    first_->request(49855, window, wide, sizeof wide);
    EXPECT_EQ(range(extent(2)), (Extent{6, 10}));
    std::uint32_t wideOff[3] = {2, 9, 10};
    first_->request(49856, window, wideOff, sizeof wideOff);
    EXPECT_EQ(range(extent(2)), (Extent{6, 8}));

    second_->registerRange(2, 2, 3);  // the extent spans every client
    EXPECT_EQ(range(extent(2)), (Extent{2, 8}));
    second_->sendWithWindow(2275, 2);
    first_->registerRange(3, 1, 1);
    first_->sendWithWindow(2275, 2);
    EXPECT_EQ(extent(2), 0);
    EXPECT_EQ(range(extent(3)), (Extent{1, 1}));
    first_->sendWithWindow(2275, 0);
    EXPECT_EQ(extent(3), 0);
}

// What the hub keeps for registrations is bounded by what it has: indexes of
// its devices, for windows that exist.
TEST_F(HubDevices, RegistersOnlyIndexesOfItsDevicesForWindowsThatExist) {
    auto range = [](LRESULT answer) { return Extent{LOWORD(answer), HIWORD(answer)}; };
    for (int device = 4; device < 1000; ++device) first_->registerRange(device, 1, 2);
    EXPECT_EQ(extent(999), 0);
    first_->registerRange(1, 3, 9000);  // router 1 has 4 destinations
    EXPECT_EQ(range(extent(1)), (Extent{3, 4}));
    const std::uint16_t record[3] = {2, 1, 5};
    first_->request(2274, 0x7FFF, const_cast<std::uint16_t*>(record), sizeof record);  // no such window
    EXPECT_EQ(extent(2), 0);
}

TEST_F(HubDevices, ClientsThatLeaveGetNothingMore) {
    first_->registerRange(1, 1, 4);
    second_->registerRange(1, 1, 4);
    second_->sendWithWindow(2034, 2);
    first_->command(routerCode, 1, "RC 1 2 1 ',---' 12");
    ASSERT_TRUE(orqtest::drain(*hub_, *first_));
    ASSERT_TRUE(orqtest::drain(*hub_, *second_));
    EXPECT_EQ(first_->texts(), (Texts{"RR 1 1 2"}));
    EXPECT_TRUE(second_->texts().empty());
}

TEST_F(HubDevices, RelaysDeviceMessagesToSubscribersAddressedToTheTargetWorkstation) {
    FakeClient third(hub_->window());
    third.join();
    first_->sendWithWindow(49227);
    second_->sendWithWindow(49227);
    const std::string sender = std::to_string(reinterpret_cast<UINT_PTR>(first_->window()));
    first_->requestText(deviceMessageCode, 2, "NS 2 7 'hello there' 5 " + sender + " 99");
    ASSERT_TRUE(orqtest::drain(*hub_, third));
    ASSERT_TRUE(orqtest::drain(*hub_, *first_));
    ASSERT_TRUE(orqtest::drain(*hub_, *second_));
    EXPECT_EQ(first_->texts(2123), (Texts{"NS 2 5 'hello there' 7 0 99"}));
    EXPECT_EQ(second_->texts(2123), (Texts{"NS 2 5 'hello there' 7 0 99"}));
    EXPECT_TRUE(third.texts().empty());

    second_->sendWithWindow(49228);
    first_->requestText(deviceMessageCode, 2, "NS 2 0 'again' 5 " + sender + " 1");
    ASSERT_TRUE(orqtest::drain(*hub_, *second_));
    EXPECT_EQ(second_->texts(2123).size(), 1u);
}

TEST_F(HubDevices, SpeaksToInterfaceLibraryClientsThroughTheLibrary) {
    FakeClient zelClient(hub_->window());
    zelClient.join(true);
    std::uint16_t record[3] = {1, 1, 4};
    const LONG window = static_cast<LONG>(reinterpret_cast<UINT_PTR>(zelClient.window()));
    zelClient.requestZel(2274, window, record, sizeof record);
    std::string text = "RC 1 2 3 ',---' 12";
    zelClient.requestZel(routerCode, 1 | 0x8000, text.data(), static_cast<int>(text.size() + 1));

    ASSERT_TRUE(orqtest::waitForDeliveries(*hub_, zelClient, 2224, 1));
    const auto delivered = zelClient.deliveries(2224);
    EXPECT_EQ(delivered[0].text, "RR 1 3 2");
    EXPECT_TRUE(delivered[0].throughInterfaceLibrary);

    const auto requests = hub_->requests(routerCode);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].transport, orq::Transport::zel);
    EXPECT_EQ(requests[0].wParam, 0x8001u);
    EXPECT_EQ(requests[0].block.size(), text.size() + 1);
    EXPECT_EQ(requests[0].text(), text);
}

// A client on a thread of its own that is set up, then does not pump.
std::unique_ptr<qxtest::DeafThread> deafClient(HWND hub, const std::function<void(FakeClient&)>& setUp) {
    return std::make_unique<qxtest::DeafThread>([hub, setUp](const auto& goDeaf) {
        FakeClient client(hub);
        setUp(client);
        goDeaf(client.window());
    });
}

bool has(const Texts& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// Counts the hub's log lines about clients that missed their deadline.
std::shared_ptr<std::atomic<int>> countMisses(orq::HubOptions& options) {
    auto missed = std::make_shared<std::atomic<int>>(0);
    options.log = [missed](const std::string& line) {
        if (line.find("did not take") != std::string::npos) ++*missed;
    };
    return missed;
}

// Sends a request to the hub from `from` and waits at most 100 ms for it, so
// that a hub that hangs cannot hang the test.
void requestBriefly(HWND hub, HWND from, UINT code, WPARAM parameter, const char* text) {
    char block[512] = {};
    std::strncpy(block, text, sizeof block - 1);
    COPYDATASTRUCT envelope{(static_cast<ULONG_PTR>(code) << 16) | parameter, sizeof block, block};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(hub, WM_COPYDATA, reinterpret_cast<WPARAM>(from), reinterpret_cast<LPARAM>(&envelope),
                        SMTO_NORMAL, 100, &ignored);
}

// A client whose thread stops pumping holds up only its own deliveries,
// through either transport: the other clients get their revertives while
// the hub still waits for it, long before its deadline (the longest there
// is) has passed.
class HubDeafClients : public HubDevices, public ::testing::WithParamInterface<bool> {};

TEST_P(HubDeafClients, AClientThatDoesNotPumpCannotHoldUpTheOthers) {
    auto options = orqtest::testOptions(facility_);
    options.clientTimeoutMs = 900;
    const auto missed = countMisses(options);
    startHub(options);
    first_->registerRange(1, 1, 4);
    const auto silent = deafClient(hub_->window(), [](FakeClient& client) {
        client.join(GetParam());
        client.registerRange(1, 1, 4);
    });

    first_->command(routerCode, 1, "RC 1 2 1 ',---' 12");
    first_->command(routerCode, 1, "RC 1 3 1 ',---' 12");
    ASSERT_TRUE(orqtest::waitForDeliveries(*hub_, *first_, 2224, 2));
    EXPECT_EQ(first_->texts(), (Texts{"RR 1 1 2", "RR 1 1 3"}));
    EXPECT_EQ(missed->load(), 0);
}

INSTANTIATE_TEST_SUITE_P(Transports, HubDeafClients, ::testing::Bool(),
                         [](const auto& param) { return param.param ? "zel" : "wm"; });

#ifndef _WIN32
// A client found stalled costs the hub no thread: its sender ends with its
// window. (Only on our layer does FindWindowA look at message-only windows.)
TEST_F(HubDevices, TheSenderOfAStalledClientEnds) {
    auto options = orqtest::testOptions(facility_);
    options.clientTimeoutMs = 50;
    const auto missed = countMisses(options);
    startHub(options);
    const auto silent = deafClient(hub_->window(), [](FakeClient& client) {
        client.join();
        client.registerRange(1, 1, 4);
    });
    first_->command(routerCode, 1, "RC 1 2 1 ',---' 12");
    EXPECT_TRUE(hub_->waitFor(
        [&] { return missed->load() == 1 && FindWindowA("orqDeliverySender", nullptr) == nullptr; }, 5000));
}
#endif

// A client found stalled gets nothing until it talks to the hub again, and
// from then on what happens.
TEST_F(HubDevices, AStalledClientIsServedAgainOnceItTalks) {
    auto options = orqtest::testOptions(facility_);
    options.clientTimeoutMs = 50;
    const auto missed = countMisses(options);
    startHub(options);
    std::promise<void> ready, deafUntil, talked;
    std::promise<Texts> received;
    std::thread slow([&] {
        FakeClient client(hub_->window());
        client.join();
        client.registerRange(1, 1, 4);
        ready.set_value();
        deafUntil.get_future().wait();
        client.join();  // talks to the hub again
        talked.set_value();
        qxplatform::pumpUntil([&] { return has(client.texts(), "RR 1 2 4"); }, 5000);
        received.set_value(client.texts());
    });
    ready.get_future().wait();
    first_->command(routerCode, 1, "RC 1 2 1 ',---' 12");
    EXPECT_TRUE(hub_->waitFor([&] { return missed->load() == 1; }, 5000));
    first_->command(routerCode, 1, "RC 1 3 1 ',---' 12");  // dropped: the client is stalled
    deafUntil.set_value();
    talked.get_future().wait();
    first_->command(routerCode, 1, "RC 1 4 2 ',---' 12");
    const Texts texts = received.get_future().get();
    slow.join();
    EXPECT_TRUE(has(texts, "RR 1 2 4"));
    EXPECT_FALSE(has(texts, "RR 1 1 3"));
}

// A WM_CLOSE that comes while the hub waits on a client acts within one
// client deadline.
TEST_F(HubDevices, ClosesWithinASecondWhileAClientDoesNotPump) {
    const auto silent = deafClient(hub_->window(), [](FakeClient& client) {
        client.join();
        client.registerRange(1, 1, 4);
    });
    first_->command(routerCode, 1, "RC 1 2 1 ',---' 12");  // its revertive waits on the silent client
    PostMessageA(hub_->window(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(hub_->waitForEnd(1000));
}

// The reply to a request goes to the window that the request names; one that
// does not pump costs the hub one client deadline, not its deliveries.
TEST_F(HubDevices, ARequestNamingAWindowThatDoesNotPumpCannotHoldUpTheOthers) {
    first_->registerRange(1, 1, 4);
    const auto silent = deafClient(hub_->window(), [](FakeClient&) {});
    requestBriefly(hub_->window(), silent->window(), routerCode, 0x8001, "RC 1 2 1 ',---' 12");
    ASSERT_TRUE(orqtest::waitForDeliveries(*hub_, *first_, 2224, 1));
    EXPECT_EQ(first_->texts(), (Texts{"RR 1 1 2"}));
}

// An infodriver backing a device that stops pumping costs the hub one client
// deadline; it then backs nothing (the hub answers for the device) until it
// talks to the hub again.
TEST_F(HubDevices, AnInfodriverThatDoesNotPumpCannotHoldUpTheHub) {
    first_->registerRange(1, 1, 4);
    first_->registerRange(2, 1, 10);
    const qxtest::DeafThread infodriver([](const auto& goDeaf) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.lpszClassName = infodriverWindowClass;
        RegisterClassA(&windowClass);
        HWND own = CreateWindowExA(0, infodriverWindowClass, infodriverWindowName(2).c_str(), 0, 0, 0, 0, 0, nullptr,
                                   nullptr, nullptr, nullptr);
        goDeaf(own);
        DestroyWindow(own);
    });
    requestBriefly(hub_->window(), first_->window(), infodriverCode, 0x8002, "IW 2 'x' 1 12");  // forwarded
    requestBriefly(hub_->window(), first_->window(), infodriverCode, 0x8002, "IP 2 1 10 12");
    requestBriefly(hub_->window(), first_->window(), routerCode, 0x8001, "RC 1 2 1 ',---' 12");
    EXPECT_TRUE(orqtest::waitForDeliveries(*hub_, *first_, 2244, 10));
    EXPECT_TRUE(orqtest::waitForDeliveries(*hub_, *first_, 2224, 1));
}

// An interface-library frame whose size does not fit the block it came in
// is refused, not read or written past the block's end.
TEST_F(HubDevices, RefusesAnInterfaceLibraryFrameLargerThanItsBlock) {
    std::uint32_t frame[6] = {0x314C455A, 2041, 1, 1, 0x10000000, 0};  // "ZEL1", device profile of device 1
    EXPECT_EQ(qxplatform::sendMessageWithBlock(hub_->window(), zorvwm32::zelMessage, (2041u << 16) | 1, frame,
                                               sizeof frame),
              0);
    EXPECT_TRUE(hub_->running());
    char profile[64] = {};
    EXPECT_EQ(first_->requestZel(2041, 1, profile, sizeof profile), 1);
}

}  // namespace
