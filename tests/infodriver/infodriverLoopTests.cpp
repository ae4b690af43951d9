// The infodriver stand-in with real drivers, alone and behind the hub: slots
// from the device file, writes decided by the tx driver, redundancy
// hand-over, and the whole loop client -> hub -> infodriver -> driver ->
// infodriver -> hub -> client, over both transports.
#include <algorithm>
#include <functional>
#include <memory>

#include "InfodriverHost.h"
#include "OrqHub.h"
#include "OrqTestSupport.h"
#include "clientTestSupport.h"
#include "infodriverTestSupport.h"
#include "zorvMessages.h"

namespace qxtest {
namespace {

constexpr int tally = 4;

using ClientEvents = RecordingCallback;

bool has(const ClientEvents& callback, const std::string& event) {
    return std::find(callback.events.begin(), callback.events.end(), event) != callback.events.end();
}

class StandIn : public InfodriverEnvironment, public ::testing::WithParamInterface<qx::ipcType> {
protected:
    orqtest::Facility facility;
    std::unique_ptr<infodriver::InfodriverHost> host;

    void SetUp() override {
        facility.write("orq.ini", "[Hub]\nHighestDevice=9\n");
        facility.write("dev_004.ini", "[Device]\nType=infodriver\nName=Tally\nSlots=16\n\n[Slots]\n1=initial\n");
        infodriver::InfodriverOptions options;
        options.configDirectory = facility.directory();
        host = std::make_unique<infodriver::InfodriverHost>(options);
        ASSERT_TRUE(host->start());
    }

    std::unique_ptr<qxInfodriver> attach(RecordingDriverCallback& callback, int mode = qx::primary) {
        auto driver = std::make_unique<qxInfodriver>(&callback, "qxInfodriver");
        driver->setRedundancyMode(mode, false, false);
        EXPECT_FALSE(driver->connect(tally, GetParam(), 0));
        return driver;
    }
    // A driver that stamps every value it is asked to write.
    static void stamp(RecordingDriverCallback& callback, std::unique_ptr<qxInfodriver>& driver,
                      const std::string& stampText) {
        callback.onWrite = [&driver, stampText](int index, const std::string& text) {
            driver->setSlot(index, stampText + text, true);
        };
    }
    bool slotBecomes(int index, const std::string& text) {
        return pumpUntil([&] { return host->slot(tally, index) == text; });
    }
};

TEST_P(StandIn, ADriverGetsAWindowOfItsOwnAndTransmits) {
    auto driver = attach(events);
    EXPECT_NE(driver->getInfodriverWindow(), host->window(tally));
    EXPECT_TRUE(driver->isConnected());
    EXPECT_EQ(driver->getState(), qx::tx);
    EXPECT_EQ(driver->getIndexLimit(), 16);
    EXPECT_EQ(host->driverCount(tally), 1);
    EXPECT_EQ(driver->queryStatus(), 1);
    EXPECT_FALSE(driver->disconnect());
    EXPECT_TRUE(pumpUntil([&] { return host->driverCount(tally) == 0; }));
}

TEST_P(StandIn, SlotsStartFromTheFileAndAreReadAndWritten) {
    auto driver = attach(events);
    std::string text;
    EXPECT_FALSE(driver->getSlot(1, text));
    EXPECT_EQ(text, "initial");
    EXPECT_FALSE(driver->setSlot(2, 42, "level %d", false));
    EXPECT_EQ(host->slot(tally, 2), "level 42");
    bool changed = false;
    EXPECT_FALSE(driver->updateSlot(2, "level 42", changed));
    EXPECT_FALSE(changed);
}

TEST_P(StandIn, TheTxDriverDecidesEveryWrite) {
    auto driver = attach(events);
    stamp(events, driver, "checked: ");
    host->requestWrite(tally, 3, "hello", 12);
    EXPECT_TRUE(slotBecomes(3, "checked: hello"));
    EXPECT_TRUE(events.has("write 4 3 [hello]"));
}

TEST_P(StandIn, WithoutADriverTheInfodriverAppliesTheWrite) {
    host->requestWrite(tally, 3, "direct", 12);
    EXPECT_EQ(host->slot(tally, 3), "direct");
}

TEST_P(StandIn, TxPassesToTheNextDriverWhenTheTxDriverLeaves) {
    RecordingDriverCallback secondEvents;
    auto first = attach(events);
    auto second = attach(secondEvents);
    EXPECT_EQ(second->getState(), qx::rx);
    stamp(secondEvents, second, "second: ");
    first.reset();
    ASSERT_TRUE(pumpUntil([&] { return second->getState() == qx::tx; }));
    EXPECT_TRUE(secondEvents.has("state 4 2"));
    EXPECT_EQ(host->txDriver(tally), reinterpret_cast<HWND>(reinterpret_cast<UINT_PTR>(second->getMessageWindow()) & 0xFFFF));
    host->requestWrite(tally, 5, "x", 12);
    EXPECT_TRUE(slotBecomes(5, "second: x"));
}

// The tx driver leaves while the infodriver asks an attaching driver whether
// it stands by; tx is handed to the attaching driver during that question,
// and it keeps tx once it answers. The attaching driver is a scriptable window,
// so that the leave happens inside its answer.
TEST_P(StandIn, ADriverHandedTxWhileAskedWhetherItStandsByKeepsTx) {
    using namespace zorvmsg;
    auto first = attach(events);
    const HWND firstPort = first->getInfodriverWindow();
    FakeHub::Options options;
    options.answerDiscovery = false;
    options.answers = {{redundancyStandby, 0}, {redundancyWilling, 1}, {redundancyOffer, 1}};
    options.onMessage = [firstPort](HWND, UINT message, WPARAM, LPARAM) {
        if (message == redundancyStandby) SendMessageA(firstPort, infodriverLeave, 0, tally);
    };
    FakeHub second(options);
    const auto secondWindow = reinterpret_cast<UINT_PTR>(second.window()) & 0xFFFF;
    SendMessageA(host->window(tally), GetParam() == qx::zel ? infodriverAnnounceZel : infodriverAnnounceWm,
                 secondWindow, tally);
    EXPECT_EQ(second.messagesOf(redundancyOffer).size(), 1u) << "it took tx";
    EXPECT_EQ(host->txDriver(tally), reinterpret_cast<HWND>(secondWindow));
    host->requestWrite(tally, 5, "asked", 12);
    EXPECT_EQ(second.requestsOf(slotWriteRequest).size(), 1u) << "it decides the writes";
}

TEST_P(StandIn, ASecondaryDriverIsNeverOfferedTx) {
    RecordingDriverCallback secondEvents;
    auto first = attach(events);
    auto second = attach(secondEvents, qx::secondary);
    first.reset();
    ASSERT_TRUE(pumpUntil([&] { return host->driverCount(tally) == 1; }));
    EXPECT_EQ(second->getState(), qx::rx);
    EXPECT_EQ(host->txDriver(tally), nullptr);
    host->requestWrite(tally, 5, "applied", 12);
    EXPECT_EQ(host->slot(tally, 5), "applied");
}

TEST_P(StandIn, ADriverTakingTxDemotesTheOther) {
    RecordingDriverCallback secondEvents;
    auto first = attach(events);
    auto second = attach(secondEvents);
    second->setRedundancyState(qx::tx, true);
    EXPECT_EQ(first->getState(), qx::rx) << "2190 demotes during the send";
    EXPECT_TRUE(events.has("state 4 1"));
    // Writes of an rx driver do not count while another transmits.
    first->setSlot(6, "from rx", true);
    second->setSlot(6, "from tx", true);
    EXPECT_EQ(host->slot(tally, 6), "from tx");
    first->setSlot(6, "from rx", true);
    EXPECT_EQ(host->slot(tally, 6), "from tx");
}

TEST_P(StandIn, DeviceMessagesReachTheDrivers) {
    auto driver = attach(events);
    host->sendDeviceMessage(tally, "NS 4 12 'hi there' 3 a b");
    EXPECT_TRUE(pumpUntil([&] { return events.has("message 3 4 [hi there] [a] [b]"); }));
}

INSTANTIATE_TEST_SUITE_P(Transports, StandIn, ::testing::Values(qx::wm, qx::zel),
                         [](const auto& param) { return param.param == qx::wm ? "wm" : "zel"; });

// ------------------------------------------------------- the loop through the hub

class Loop : public StandIn {
protected:
    std::unique_ptr<orq::OrqHub> hub;

    void SetUp() override {
        StandIn::SetUp();
        orq::HubOptions options = orqtest::testOptions(facility);
        options.holdDelayMs = 0;
        hub = std::make_unique<orq::OrqHub>(options);
        ASSERT_TRUE(hub->start());
    }
    void TearDown() override { hub.reset(); }

    std::unique_ptr<qxClient> client(ClientEvents& callback, bool registered = true) {
        auto made = std::make_unique<qxClient>(&callback, "qxClient");
        EXPECT_FALSE(made->connect(GetParam(), 0));
        if (registered) made->revertiveRegister(tally, 1, 16, true, qx::IP);
        return made;
    }
    bool hears(const ClientEvents& callback, const std::string& revertive) {
        return pumpUntil([&] { return has(callback, revertive); });
    }
};

TEST_P(Loop, AClientWriteIsDecidedByTheDriverAndComesBackToRegisteredClients) {
    auto driver = attach(events);
    stamp(events, driver, "stamped ");
    ClientEvents writerEvents, listenerEvents, otherEvents;
    auto writer = client(writerEvents);
    auto listener = client(listenerEvents);
    auto other = client(otherEvents, false);
    writer->infoWrite(tally, 2, "on air", true, 0);
    EXPECT_TRUE(hears(writerEvents, "IR 4 2 [stamped on air]"));
    EXPECT_TRUE(hears(listenerEvents, "IR 4 2 [stamped on air]"));
    EXPECT_TRUE(events.has("write 4 2 [on air]"));
    EXPECT_FALSE(has(writerEvents, "IR 4 2 [on air]")) << "the hub waits for the driver";
    EXPECT_EQ(otherEvents.events, std::vector<std::string>{"connected"}) << "no revertive";
}

TEST_P(Loop, WithoutADriverTheInfodriverAppliesTheWrite) {
    ClientEvents writerEvents;
    auto writer = client(writerEvents);
    writer->infoWrite(tally, 7, "as written", true, 0);
    EXPECT_TRUE(hears(writerEvents, "IR 4 7 [as written]"));
    EXPECT_EQ(host->slot(tally, 7), "as written");
}

TEST_P(Loop, PollsReadTheInfodriversSlotsAndDriverWritesAreReported) {
    auto driver = attach(events);
    ClientEvents listenerEvents;
    auto listener = client(listenerEvents);
    driver->setSlot(9, "from the driver", true);
    EXPECT_TRUE(hears(listenerEvents, "IR 4 9 [from the driver]"));
    listener->infoPoll(tally, 1, 1, true);
    EXPECT_TRUE(hears(listenerEvents, "IR 4 1 [initial]"));
    std::string cached;
    EXPECT_FALSE(listener->cacheValue(tally, 9, cached));
    EXPECT_EQ(cached, "from the driver");
}

TEST_P(Loop, TheSecondDriverTakesOverTheLoop) {
    RecordingDriverCallback secondEvents;
    auto first = attach(events);
    auto second = attach(secondEvents);
    stamp(events, first, "first ");
    stamp(secondEvents, second, "second ");
    ClientEvents writerEvents;
    auto writer = client(writerEvents);
    writer->infoWrite(tally, 3, "a", true, 0);
    EXPECT_TRUE(hears(writerEvents, "IR 4 3 [first a]"));
    first.reset();
    ASSERT_TRUE(pumpUntil([&] { return second->getState() == qx::tx; }));
    writer->infoWrite(tally, 3, "b", true, 0);
    EXPECT_TRUE(hears(writerEvents, "IR 4 3 [second b]"));
}

INSTANTIATE_TEST_SUITE_P(Transports, Loop, ::testing::Values(qx::wm, qx::zel),
                         [](const auto& param) { return param.param == qx::wm ? "wm" : "zel"; });

}  // namespace
}  // namespace qxtest
