// The infodriver client against a recording infodriver: what it sends, with
// exact bytes and trace lines, and what it makes of what it receives.
#include <algorithm>
#include <cstring>

#include "infodriverTestSupport.h"

namespace qxtest {
namespace {

using ::testing::Values;

std::string transportName(const ::testing::TestParamInfo<qx::ipcType>& info) {
    return info.param == qx::wm ? "wm" : "zel";
}

// ----------------------------------------------------------- object and limits

TEST_F(InfodriverEnvironment, EachObjectHasItsOwnWindowClassAndAPointerSizedSlot) {
    qxInfodriver first(&events, "qxInfodriver"), second(&events, "qxInfodriver");
    char firstClass[256] = {}, secondClass[256] = {};
    GetClassNameA(first.getMessageWindow(), firstClass, sizeof firstClass);
    GetClassNameA(second.getMessageWindow(), secondClass, sizeof secondClass);
    EXPECT_STRNE(firstClass, secondClass);
    EXPECT_EQ(std::string(firstClass).rfind("qxInfodriverMessageWindow_", 0), 0u);
    EXPECT_EQ(GetWindowLongPtrA(first.getMessageWindow(), 0), reinterpret_cast<LONG_PTR>(&first));
    EXPECT_EQ(GetWindowLongPtrA(second.getMessageWindow(), 0), reinterpret_cast<LONG_PTR>(&second));
}

TEST_F(InfodriverEnvironment, WithoutAnInfodriverTheLimitsAreTheDefaults) {
    qxInfodriver driver(&events, "qxInfodriver");
    EXPECT_EQ(driver.maxString(), 256u);
    EXPECT_EQ(driver.maxDatabases(), 10u);
    EXPECT_EQ(driver.maxDevices(), 2147483647u);
    EXPECT_EQ(driver.maxIndexes(), 2147483647u);
    EXPECT_EQ(driver.maxSources(), 2147483647u);
    EXPECT_EQ(driver.getWorkstation(), 12);
    EXPECT_EQ(driver.getState(), qx::unknown);
    EXPECT_EQ(driver.getRedundancyMode(), qx::primary);
}

TEST_F(InfodriverEnvironment, CountersReportAChangeOnce) {
    qxInfodriver driver(&events, "qxInfodriver");
    unsigned tx = 9, rx = 9;
    EXPECT_TRUE(driver.counters(tx, rx));
    EXPECT_EQ(tx, 0u);
    EXPECT_FALSE(driver.counters(tx, rx));
    driver.setSlot(1, "counted without a transport", false);  // ipc 0 still counts
    EXPECT_TRUE(driver.counters(tx, rx));
    EXPECT_EQ(tx, 1u);
    driver.resetCounters();
    EXPECT_TRUE(driver.counters(tx, rx));
    EXPECT_EQ(tx, 0u);
}

TEST_F(InfodriverEnvironment, WithNoInfodriverConnectFailsAndKeepsDeviceAndTransport) {
    qxInfodriver driver(&events, "qxInfodriver");
    EXPECT_TRUE(driver.connect(3, qx::zel, 0));
    EXPECT_EQ(driver.getDevice(), 3);
    EXPECT_FALSE(driver.isConnected());
    EXPECT_TRUE(trace.contains("qxInfodriver: Handle for Infodriver 3 is 0x0"));
    EXPECT_TRUE(events.events.empty());
    EXPECT_TRUE(driver.disconnect());
}

// ------------------------------------------------------------------ connection

class Connection : public InfodriverTest, public ::testing::WithParamInterface<qx::ipcType> {};

TEST_P(Connection, TessilFindsTheInfodriverWhichIsAnnouncedToAndAsked) {
    startInfodriver();
    qxInfodriver driver(&events, "qxInfodriver");
    EXPECT_FALSE(driver.connect(device, GetParam(), 5));
    EXPECT_EQ(driver.getInfodriverWindow(), infodriver->window());
    EXPECT_TRUE(trace.contains(formatText("qxInfodriver: Handle for Infodriver 7 is 0x%x",
                                          static_cast<unsigned>(reinterpret_cast<UINT_PTR>(infodriver->window())))));
    const UINT announce = GetParam() == qx::wm ? 2724 : 49154;
    const auto announced = infodriver->messagesOf(announce);
    ASSERT_EQ(announced.size(), 1u);
    EXPECT_EQ(announced[0].wParam, reinterpret_cast<UINT_PTR>(driver.getMessageWindow()) & 0xFFFF);
    EXPECT_EQ(announced[0].lParam, device);
    std::vector<UINT> asked;
    for (const auto& m : infodriver->messages()) asked.push_back(m.message);
    EXPECT_EQ(asked, (std::vector<UINT>{announce, 49245, 49233, 49234, 49243, 2732}));
    EXPECT_EQ(driver.getDeviceLimit(), 900);
    EXPECT_EQ(driver.getIndexLimit(), 100000);
    EXPECT_EQ(driver.getSourceLimit(), 2147483647);
    EXPECT_EQ(driver.getDatabaseLimit(), 6);
    EXPECT_EQ(driver.getStringLimit(), 256) << "the string limit is never asked";
    EXPECT_EQ(events.events, (std::vector<std::string>{"connected 7", "state 7 2"}));
}

TEST_P(Connection, DisconnectTellsTheInfodriverOnce) {
    startInfodriver();
    auto driver = connectDriver(GetParam());
    EXPECT_FALSE(driver->disconnect());
    const auto left = infodriver->messagesOf(2725);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].wParam, 0u);
    EXPECT_EQ(left[0].lParam, device);
    EXPECT_EQ(events.events, (std::vector<std::string>{"disconnected 7"}));
    EXPECT_FALSE(driver->isConnected());
    EXPECT_TRUE(driver->disconnect());
    EXPECT_EQ(infodriver->messagesOf(2725).size(), 1u);
}

TEST_P(Connection, DestructionPostsCloseBeforeLeavingWhenAsked) {
    startInfodriver();
    auto driver = connectDriver(GetParam());
    driver->setCloseHostOnExit(true);
    driver.reset();
    // The close was handled before the goodbye, or still waited in the queue.
    const auto all = infodriver->messages();
    const auto left = std::find_if(all.begin(), all.end(), [](const auto& m) { return m.message == 2725; });
    ASSERT_NE(left, all.end());
    const bool closedBefore = std::any_of(all.begin(), left, [](const auto& m) { return m.message == WM_CLOSE; });
    EXPECT_TRUE(closedBefore || left->closeQueued);
    EXPECT_TRUE(events.events.empty()) << "no callback from the destructor";
}

INSTANTIATE_TEST_SUITE_P(Transports, Connection, Values(qx::wm, qx::zel), transportName);

// An infodriver that tessil32.dll does not find is found by the broadcast of
// the zel announcement; the wm announcement lies in the range that is never
// broadcast.
TEST_F(InfodriverTest, WithoutTessilOnlyTheZelAnnouncementFindsTheInfodriver) {
    auto options = infodriverOptions();
    options.windowName = "not findable by tessil";
    infodriver = std::make_unique<FakeHub>(options);
    qxInfodriver driver(&events, "qxInfodriver");
    EXPECT_TRUE(driver.connect(device, qx::wm, 0));
    EXPECT_TRUE(infodriver->messagesOf(2724).empty());
    EXPECT_FALSE(driver.connect(device, qx::zel, 0));
    EXPECT_EQ(driver.getInfodriverWindow(), infodriver->window());
    EXPECT_TRUE(trace.contains("qxInfodriver: Handle for Infodriver 7 is 0x0"));
    EXPECT_EQ(infodriver->messagesOf(49154).size(), 1u);
}

struct RedundancyAnswer {
    LRESULT answer;
    qx::redundancyState state;
};

class RedundancyAtConnect : public InfodriverTest, public ::testing::WithParamInterface<RedundancyAnswer> {};

TEST_P(RedundancyAtConnect, TheAnswerTo2732SetsTheState) {
    startInfodriver(GetParam().answer);
    qxInfodriver driver(&events, "qxInfodriver");
    EXPECT_FALSE(driver.connect(device, qx::wm, 0));
    EXPECT_EQ(driver.getState(), GetParam().state);
    EXPECT_TRUE(events.has(formatText("state 7 %d", static_cast<int>(GetParam().state))));
}

INSTANTIATE_TEST_SUITE_P(Answers, RedundancyAtConnect,
                         Values(RedundancyAnswer{0, qx::unknown}, RedundancyAnswer{1, qx::rx},
                                RedundancyAnswer{2, qx::tx}, RedundancyAnswer{3, qx::tx},
                                RedundancyAnswer{5, qx::unknown}));

// ----------------------------------------------------------------------- slots

class Slots : public InfodriverTest, public ::testing::WithParamInterface<qx::ipcType> {
protected:
    void SetUp() override {
        startInfodriver();
        driver = connectDriver(GetParam());
    }
    // The block as it reached the infodriver: 512 bytes through wm, the
    // 300-byte buffer through zel.
    size_t blockSize() const { return GetParam() == qx::wm ? 512 : 300; }
    std::unique_ptr<qxInfodriver> driver;
};

TEST_P(Slots, SetSlotSendsTheTextInABlockWithTheNowBit) {
    EXPECT_FALSE(driver->setSlot(5, "on air", true));
    EXPECT_FALSE(driver->setSlot(6, "later", false));
    const auto sent = infodriver->requestsOf(2726);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].parameter, 5u | 0x8000u);
    EXPECT_EQ(sent[1].parameter, 6u);
    ASSERT_EQ(sent[0].block.size(), blockSize());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(sent[0].block.data()), 7), std::string("on air\0", 7));
    for (size_t i = 7; i < sent[0].block.size(); ++i) ASSERT_EQ(sent[0].block[i], 0) << "byte " << i;
    unsigned tx = 0, rx = 0;
    driver->counters(tx, rx);
    EXPECT_EQ(tx, 2u);
}

TEST_P(Slots, SendSlotTextNeverCarriesTheNowBit) {
    EXPECT_FALSE(driver->sendSlotText(9, "text"));
    const auto sent = infodriver->requestsOf(2731);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].parameter, 9u);
    EXPECT_EQ(sent[0].text(), "text");
}

TEST_P(Slots, GetSlotReadsTheReplyText) {
    infodriver->onRequest([](const FakeHub::Request&, unsigned char* block, size_t) {
        std::strcpy(reinterpret_cast<char*>(block), "slot text");
        return LRESULT{1};
    });
    std::string text = "old";
    EXPECT_FALSE(driver->getSlot(4, text));
    EXPECT_EQ(text, "slot text");
    const auto asked = infodriver->requestsOf(2727);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].parameter, 4u);
    EXPECT_EQ(asked[0].block[0], 0) << "a zeroed block is sent";
}

TEST_P(Slots, UpdateSlotSendsOnlyAChange) {
    infodriver->onRequest([](const FakeHub::Request& request, unsigned char* block, size_t) {
        if (request.code == 2727) std::strcpy(reinterpret_cast<char*>(block), "42");
        return LRESULT{1};
    });
    bool changed = true;
    EXPECT_FALSE(driver->updateSlot(3, "42", changed));
    EXPECT_FALSE(changed);
    EXPECT_FALSE(driver->updateSlot(3, 42));
    EXPECT_FALSE(driver->updateSlot(3, 42.0, "%.0f"));
    EXPECT_TRUE(infodriver->requestsOf(2726).empty());

    EXPECT_FALSE(driver->updateSlot(3, "43", changed));
    EXPECT_TRUE(changed);
    EXPECT_FALSE(driver->updateSlot(3, 44));
    EXPECT_FALSE(driver->updateSlot(3, 4.5, "%.1f"));
    const auto sent = infodriver->requestsOf(2726);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].text(), "43");
    EXPECT_EQ(sent[1].text(), "44");
    EXPECT_EQ(sent[2].text(), "4.5");
    for (const auto& request : sent) EXPECT_EQ(request.parameter, 3u) << "not now";
}

// The slot is read first; the format is checked by the write.
TEST_P(Slots, UpdateSlotChecksTheFormatOnlyWhenItWrites) {
    infodriver->onRequest([](const FakeHub::Request& request, unsigned char* block, size_t) {
        if (request.code == 2727) std::strcpy(reinterpret_cast<char*>(block), "level is now 1.50");
        return LRESULT{1};
    });
    const std::string longFormat = "level is now %.2f";  // 17 characters: the write refuses it
    EXPECT_FALSE(driver->updateSlot(3, 1.5, longFormat)) << "holds the value already";
    EXPECT_TRUE(trace.lines().empty());
    EXPECT_TRUE(driver->updateSlot(3, 2.5, longFormat));
    EXPECT_TRUE(driver->updateSlot(3, 1.5, "%s"));
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{"qxInfodriver: String too long: " + longFormat + "\n",
                                                        "qxInfodriver: Format does not fit the value: %s\n"}));
    EXPECT_EQ(infodriver->requestsOf(2727).size(), 3u);
    EXPECT_TRUE(infodriver->requestsOf(2726).empty());
}

TEST_P(Slots, SlotRangeIsAPlainMessage) {
    EXPECT_FALSE(driver->sendSlotRange(2, 70000));
    const auto sent = infodriver->messagesOf(2723);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].wParam, 2u);
    EXPECT_EQ(sent[0].lParam, 70000 & 0xFFFF);
    trace.clear();
    EXPECT_TRUE(driver->sendSlotRange(5, 4));
    EXPECT_TRUE(driver->sendSlotRange(0, 4));
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{"qxInfodriver: Index Number of out range (less than 1)\n"}))
        << "first > last fails without a trace line";
    EXPECT_EQ(infodriver->messagesOf(2723).size(), 1u);
}

TEST_P(Slots, StatusAndNotifyValueAreAnsweredUnchanged) {
    infodriver->run([] {});
    driver->queryStatus();
    driver->notifyValue(0x12345);
    const auto status = infodriver->messagesOf(49238);
    ASSERT_EQ(status.size(), 1u);
    const auto notified = infodriver->messagesOf(49244);
    ASSERT_EQ(notified.size(), 1u);
    EXPECT_EQ(notified[0].wParam, reinterpret_cast<WPARAM>(infodriver->window()));
    EXPECT_EQ(notified[0].lParam, (0x2345 << 16) | device);
}

TEST_P(Slots, ADeviceMessageNamesTheWorkstationOfThisMoment) {
    ScopedEnv later("QX_WORKSTATION", "31");
    EXPECT_FALSE(driver->sendDeviceMessage(3, 9, "hello there", "two", "three"));
    const auto sent = infodriver->requestsOf(2123);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].parameter, 0u);
    EXPECT_EQ(sent[0].text(), "NS 9 31 'hello there' 3 two three");
    if (GetParam() == qx::zel) {
        EXPECT_EQ(sent[0].block.size(), sent[0].text().size() + 1) << "not the slots' 300";
    }
}

TEST_P(Slots, ADeviceMessageThatDoesNotFitIsNotSent) {
    const std::string second(300, 'b'), third(200, 'c');
    EXPECT_TRUE(driver->sendDeviceMessage(3, 9, "text", second, third));
    EXPECT_TRUE(infodriver->requestsOf(2123).empty());
    ASSERT_EQ(trace.lines().size(), 1u);
    EXPECT_EQ(trace.lines()[0].rfind("qxInfodriver: Device message too long (", 0), 0u);
    unsigned tx = 0, rx = 0;
    driver->counters(tx, rx);
    EXPECT_EQ(tx, 0u);
    // The longest message that fits still goes.
    const std::string fits(511 - std::string("NS 9 12 'text' 3  ").size() - 1, 'x');
    EXPECT_FALSE(driver->sendDeviceMessage(3, 9, "text", fits, "y"));
    EXPECT_EQ(infodriver->requestsOf(2123).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Transports, Slots, Values(qx::wm, qx::zel), transportName);

// ------------------------------------------------------------- argument checks

struct FailedCheck {
    const char* name;
    std::function<bool(qxInfodriver&)> call;
    std::string traceLine;
};

class Checks : public InfodriverTest, public ::testing::WithParamInterface<FailedCheck> {};

TEST_P(Checks, WriteOneTraceLineAndSendNothing) {
    startInfodriver();
    auto driver = connectDriver(qx::wm);
    EXPECT_TRUE(GetParam().call(*driver));
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{"qxInfodriver: " + GetParam().traceLine + "\n"}));
    EXPECT_TRUE(infodriver->requests().empty());
    unsigned tx = 0, rx = 0;
    driver->counters(tx, rx);
    EXPECT_EQ(tx, 0u);
}

const std::string tooLong(256, 'x');

INSTANTIATE_TEST_SUITE_P(
    Operations, Checks,
    Values(FailedCheck{"SlotZero", [](qxInfodriver& d) { return d.setSlot(0, "x", true); },
                       "Index Number of out range (less than 1)"},
           FailedCheck{"LongText", [](qxInfodriver& d) { return d.setSlot(1, tooLong, true); },
                       "Note: string exceeds maximum: " + tooLong},
           FailedCheck{"TextBeyondTheBlock",
                       [](qxInfodriver& d) {
                           d.setStringLimit(1000);
                           return d.setSlot(1, std::string(300, 'y'), true);
                       },
                       "String too long: " + std::string(300, 'y')},
           FailedCheck{"FormatOver16", [](qxInfodriver& d) { return d.setSlot(1, 5, "%d and some words", true); },
                       "String too long: %d and some words"},
           FailedCheck{"TextForANumber", [](qxInfodriver& d) { return d.setSlot(1, 5, "%s", true); },
                       "Format does not fit the value: %s"},
           FailedCheck{"WriteBack", [](qxInfodriver& d) { return d.setSlot(1, 5, "%n", true); },
                       "Format does not fit the value: %n"},
           FailedCheck{"TwoValues", [](qxInfodriver& d) { return d.setSlot(1, 5, "%d %d", true); },
                       "Format does not fit the value: %d %d"},
           FailedCheck{"StarWidth", [](qxInfodriver& d) { return d.setSlot(1, 5, "%*d", true); },
                       "Format does not fit the value: %*d"},
           FailedCheck{"LongForAnInt", [](qxInfodriver& d) { return d.setSlot(1, 5, "%ld", true); },
                       "Format does not fit the value: %ld"},
           FailedCheck{"FloatForAnInt", [](qxInfodriver& d) { return d.setSlot(1, 5, "%f", true); },
                       "Format does not fit the value: %f"},
           FailedCheck{"IntForADouble", [](qxInfodriver& d) { return d.setSlot(1, 5.0, "%d", true); },
                       "Format does not fit the value: %d"},
           FailedCheck{"DanglingPercent", [](qxInfodriver& d) { return d.setSlot(1, 5.0, "%.2", true); },
                       "Format does not fit the value: %.2"},
           FailedCheck{"HugeWidth", [](qxInfodriver& d) { return d.setSlot(1, 5, "%999d", true); },
                       "Note: string exceeds maximum: " + std::string(511, ' ')},
           FailedCheck{"WorkstationZero",
                       [](qxInfodriver& d) { return d.sendDeviceMessage(0, 1, "x", "", ""); },
                       "Workstation number invalid (< 1): 0"},
           FailedCheck{"GetSlotZero",
                       [](qxInfodriver& d) {
                           std::string text;
                           return d.getSlot(0, text);
                       },
                       "Index Number of out range (less than 1)"}),
    [](const auto& param) { return std::string(param.param.name); });

struct GoodFormat {
    const char* name;
    std::function<bool(qxInfodriver&)> call;
    const char* text;
};

class Formats : public InfodriverTest, public ::testing::WithParamInterface<GoodFormat> {};

TEST_P(Formats, AFittingFormatWritesTheValue) {
    startInfodriver();
    auto driver = connectDriver(qx::wm);
    EXPECT_FALSE(GetParam().call(*driver));
    const auto sent = infodriver->requestsOf(2726);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].text(), GetParam().text);
    EXPECT_TRUE(trace.lines().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Values_, Formats,
    Values(GoodFormat{"Padded", [](qxInfodriver& d) { return d.setSlot(1, 42, "%05d", true); }, "00042"},
           GoodFormat{"Percent", [](qxInfodriver& d) { return d.setSlot(1, 42, "%d%%", true); }, "42%"},
           GoodFormat{"Hex", [](qxInfodriver& d) { return d.setSlot(1, 255, "v=%#x", true); }, "v=0xff"},
           GoodFormat{"Short", [](qxInfodriver& d) { return d.setSlot(1, 65537, "%hd", true); }, "1"},
           GoodFormat{"NoConversion", [](qxInfodriver& d) { return d.setSlot(1, 1, "fixed", true); }, "fixed"},
           GoodFormat{"Fixed", [](qxInfodriver& d) { return d.setSlot(1, 2.5, "%.2f dB", true); }, "2.50 dB"},
           GoodFormat{"LongFloat", [](qxInfodriver& d) { return d.setSlot(1, 0.5, "%lf", true); }, "0.500000"},
           GoodFormat{"Exactly16", [](qxInfodriver& d) { return d.setSlot(1, 7, "%d--------------", true); },
                      "7--------------"}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace qxtest
