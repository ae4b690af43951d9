#include <cstring>

#include "clientTestSupport.h"
#include "zelFrame.h"
#include "zorvwm32.h"

namespace qxtest {
namespace {

class ClientDispatch : public ClientTest {
protected:
    FakeHub hub{hubOptions()};
    std::unique_ptr<qxClient> client;
    qx::ipcType transport = qx::wm;

    void SetUp() override { connect(&events); }
    void connect(IqxClientCallback* callback) {
        client = std::make_unique<qxClient>(callback, "qxClient");
        ASSERT_FALSE(client->connect(transport, 0));
        events.events.clear();
        trace.clear();
    }
    HWND window() const { return client->getMessageWindow(); }
    void deliver(const std::string& text, UINT code = 2224) {
        EXPECT_EQ(hub.sendText(window(), code, text), 1);
    }
    unsigned received() {
        unsigned tx, rx;
        client->counters(tx, rx);
        return rx;
    }
    // Waits until every drain message posted so far has been handled.
    void settle() {
        bool done = false;
        PostMessageA(window(), WM_NULL, 0, 0);
        pumpUntil([&] {
            MSG msg;
            done = !PeekMessageA(&msg, window(), 0, 0, PM_NOREMOVE);
            return done;
        });
    }
};

TEST_F(ClientDispatch, RevertivesAreQueuedThenDeliveredFromTheLoop) {
    deliver("RR 3 10 7");
    EXPECT_TRUE(events.events.empty()) << "nothing runs inside the hub's send";
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(events.events, std::vector<std::string>{"RR 3 10 7"});
    EXPECT_EQ(received(), 1u);
}

TEST_F(ClientDispatch, FieldsOfEachKeyword) {
    deliver("IR 4 2 0 'hello world'", 2244);
    deliver("IR 4 3 0 ''", 2123);
    deliver("IR 4 4", 2234);
    deliver("RR 3 10 -5");
    deliver("GR 6 1 0 1x");
    deliver("GR 6 2 0 0");
    deliver("GR 6 3 0");
    deliver("DC 5 9 3");
    deliver("XX 1 2 3");
    ASSERT_TRUE(waitForEvents(8));
    settle();
    EXPECT_EQ(events.events, (std::vector<std::string>{"IR 4 2 [hello world]", "IR 4 3 []", "IR 4 4 []",
                                                       "RR 3 10 -5", "GR 6 1 1", "GR 6 2 0", "GR 6 3 0",
                                                       "DC 5 9 3"}));
    EXPECT_TRUE(trace.contains("GR 6 1 0 1x")) << "GPI texts are traced as they arrive";
}

TEST_F(ClientDispatch, AFailedCheckEndsTheDrainAndTheNextDrainCarriesOn) {
    hub.run([&] {
        for (const char* text : {"RR 3 10 7", "RR 0 10 7", "RR 3 11 8"}) {
            std::string block = text;
            copyDataSend(hub.window(), window(), 2224, 0, block.data(), static_cast<DWORD>(block.size() + 1), 0, 1);
        }
    });
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, window(), 2334, 2334, PM_REMOVE));
    DispatchMessageA(&msg);
    EXPECT_EQ(events.events, std::vector<std::string>{"RR 3 10 7"});
    EXPECT_EQ(trace.text(), "qxClient: Device Number of out range (less than 1)\n");
    ASSERT_TRUE(PeekMessageA(&msg, window(), 2334, 2334, PM_REMOVE));
    DispatchMessageA(&msg);
    EXPECT_EQ(events.events, (std::vector<std::string>{"RR 3 10 7", "RR 3 11 8"}));
    EXPECT_EQ(received(), 2u);
}

TEST_F(ClientDispatch, ANestedDrainKeepsArrivalOrder) {
    bool nested = false;
    events.onEvent = [&](const std::string& event) {
        if (event != "RR 1 1 1" || nested) return;
        nested = true;
        hub.sendText(window(), 2224, "RR 1 1 3");  // arrives during this callback
        qxplatform::pumpPending();                // drains from inside the callback
    };
    hub.run([&] {
        for (const char* text : {"RR 1 1 1", "RR 1 1 2"}) {
            std::string block = text;
            copyDataSend(hub.window(), window(), 2224, 0, block.data(), static_cast<DWORD>(block.size() + 1), 0, 1);
        }
    });
    ASSERT_TRUE(waitForEvents(3));
    settle();
    EXPECT_EQ(events.events, (std::vector<std::string>{"RR 1 1 1", "RR 1 1 2", "RR 1 1 3"}));
}

TEST_F(ClientDispatch, DeviceMessagesAreFilteredByAddress) {
    const auto own = static_cast<unsigned>(reinterpret_cast<UINT_PTR>(window()));
    deliver("NS 3 7 'to all' 0 0 5", 2123);
    deliver(formatText("NS 3 7 'to me' 12 %u 6", own), 2123);
    deliver("NS 3 7 'other station' 13 0 7", 2123);
    deliver("NS 3 7 'other client' 0 99999 8", 2123);
    deliver("NS 3 7 'to station' 12 0 9", 2123);
    ASSERT_TRUE(waitForEvents(3));
    settle();
    EXPECT_EQ(events.events, (std::vector<std::string>{"NS 7 3 [to all] 5", "NS 7 3 [to me] 6",
                                                       "NS 7 3 [to station] 9"}));
}

TEST_F(ClientDispatch, DatabaseChangesCheckTheIndexAndTheDatabase) {
    deliver("DC 5 0 1");
    deliver("DC 5 70000 1");  // the hub said its highest index is 65535
    deliver("DC 5 4 4");      // four databases
    deliver("DC 5 4 3");
    ASSERT_TRUE(waitForEvents(1));
    settle();
    EXPECT_EQ(events.events, std::vector<std::string>{"DC 5 4 3"});
    EXPECT_EQ(trace.lines()[0], "shim: database modify index <1 or > maxDatabaseIndex\n");
}

TEST_F(ClientDispatch, NumericDatabaseChangeForms) {
    LRESULT queued = 0, refused = 0, wide = 0;
    hub.run([&] {
        queued = SendMessageA(window(), 2174, 5, (3 << 16) | 9);
        refused = SendMessageA(window(), 2174, 5, (4 << 16) | 9);  // database 4 of 4
        unsigned record[3] = {70000, 2, 1};
        wide = SendMessageA(window(), 49854, 0, reinterpret_cast<LPARAM>(record));
    });
    EXPECT_EQ(queued, 1);
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(wide, 1);
    ASSERT_TRUE(waitForEvents(2));
    EXPECT_EQ(events.events, (std::vector<std::string>{"DC 5 9 3", "DC 70000 2 1"}));
}

TEST_F(ClientDispatch, DeviceModeAndConfigurationChangeAreHandledAtOnce) {
    hub.sendText(window(), 49170, "NB 3 7");
    hub.sendText(window(), 49170, "NA 1 2");
    hub.sendText(window(), 49170, "NI 4 5");
    hub.sendText(window(), 49170, "NX 4 5");
    hub.sendText(window(), 49239, "");
    hub.sendText(window(), 49239, "config changed");
    EXPECT_EQ(events.events, (std::vector<std::string>{"MODE 7 3 5", "MODE 2 1 2", "MODE 5 4 1", "CC []",
                                                       "CC [config changed]"}));
    EXPECT_EQ(received(), 0u);
}

TEST_F(ClientDispatch, ANullTextDoesNothing) {
    hub.run([&] {
        for (UINT id : {2123u, 2224u, 2234u, 2244u, 49170u, 49239u, 49854u}) {
            EXPECT_EQ(SendMessageA(window(), id, 0, 0), 1) << id;
        }
    });
    settle();
    EXPECT_TRUE(events.events.empty());
}

TEST_F(ClientDispatch, ANumberWhereATextBelongsIsDropped) {
    hub.run([&] {  // through a copy-data envelope and through the interface library
        for (UINT id : {2123u, 2224u, 2234u, 2244u, 49170u, 49239u, 49854u}) {
            DWORD number = 0x12345678;
            copyDataSend(hub.window(), window(), id, 0, &number, sizeof number, 0, zorvwm32::numberKind);
            zel::send(window(), id, 0, &number, zorvwm32::numberKind, sizeof number);
        }
    });
    settle();
    EXPECT_TRUE(events.events.empty());
    deliver("RR 3 10 7");  // texts still arrive
    EXPECT_TRUE(waitForEvents(1));
}

TEST_F(ClientDispatch, WithoutCallbackTextsAreStillCounted) {
    connect(nullptr);
    deliver("RR 3 10 7");
    deliver("IR 3 10 0 'x'");
    ASSERT_TRUE(pumpUntil([&] { return received() == 2; }));
}

TEST_F(ClientDispatch, TextsArriveThroughTheInterfaceLibraryToo) {
    transport = qx::zel;
    connect(&events);
    EXPECT_EQ(hub.sendTextZel(window(), 2224, "RR 9 8 7"), 1);
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(events.events, std::vector<std::string>{"RR 9 8 7"});
}

// A burst goes in as few exchanges as the library can; each text arrives in
// order.
TEST_F(ClientDispatch, ABatchThroughTheInterfaceLibraryArrivesInOrder) {
    transport = qx::zel;
    connect(&events);
    std::vector<std::string> texts;
    for (int index = 1; index <= 1000; ++index) texts.push_back("RR 9 " + std::to_string(index) + " 7");
    std::vector<zel::Outbound> burst;
    for (const auto& text : texts) burst.push_back({2224, 0, text.c_str(), zorvwm32::textKind, int(text.size() + 1)});
    int taken = 0;
    hub.run([&] { taken = zel::sendManyWithin(window(), burst.data(), int(burst.size()), 5000); });
    EXPECT_EQ(taken, 1000);
    ASSERT_TRUE(waitForEvents(1000));
    EXPECT_EQ(events.events, texts);
}

// On Windows the library keeps its own list of the blocks being sent, so a
// block that the test program sends is no frame to it; there, only the
// library itself makes batches.
#ifndef _WIN32
// A batch whose frames overrun it delivers the frames that fit.
TEST_F(ClientDispatch, ADamagedBatchDeliversOnlyTheFramesThatFit) {
    transport = qx::zel;
    connect(&events);
    alignas(8) unsigned char block[256] = {};
    auto* header = reinterpret_cast<ZelFrame*>(block);
    auto* first = reinterpret_cast<ZelFrame*>(block + sizeof(ZelFrame));
    auto* second = reinterpret_cast<ZelFrame*>(block + sizeof(ZelFrame) + ZelFrame::batchedLength(9));
    *header = ZelFrame{ZelFrame::batchMagic, 0, 3, 1, sizeof block - sizeof(ZelFrame), 0};
    *first = ZelFrame{ZelFrame::expectedMagic, 2224, 0, 1, 9, 0};
    std::memcpy(first->data(), "RR 9 1 8", 9);
    *second = ZelFrame{ZelFrame::expectedMagic, 2224, 0, 1, 4000, 0};  // past the block's end
    std::memcpy(second->data(), "RR 9 2 8", 9);
    LRESULT delivered = 0;
    hub.run([&] { delivered = qxplatform::sendMessageWithBlock(window(), zorvwm32::zelMessage, 0, block, sizeof block); });
    EXPECT_EQ(delivered, 1);
    ASSERT_TRUE(waitForEvents(1));
    settle();
    EXPECT_EQ(events.events, std::vector<std::string>{"RR 9 1 8"});
}
#endif

// A control application may close its client from inside any callback:
// nothing of the client is touched after the callback returns.
TEST_F(ClientDispatch, AClientMayBeDestroyedFromInsideItsOwnCallbacks) {
    struct Case {
        const char* event;
        std::function<void()> cause;
    };
    const Case cases[] = {
        {"RR 3 10 7", [&] { deliver("RR 3 10 7"), deliver("RR 3 10 8"); }},
        {"disconnected", [&] { hub.run([&] { SendMessageA(window(), 2175, 0, 0); }); }},
        {"CC [layout]", [&] { hub.sendText(window(), 49239, "layout"); }},
        {"connected",
         [&] {
             client.reset();
             events.events.clear();
             (client = std::make_unique<qxClient>(&events, "qxClient"))->connect(transport, 0);
         }},
    };
    for (const Case& c : cases) {
        connect(&events);
        events.onEvent = [&](const std::string& event) {
            if (event == c.event) client.reset();
        };
        c.cause();
        EXPECT_TRUE(pumpUntil([&] { return client == nullptr; })) << c.event;
        qxplatform::pumpPending();
        EXPECT_EQ(events.events.front(), c.event);
        events.onEvent = nullptr;
    }
}

TEST_F(ClientDispatch, TextsQueuedWhenTheClientIsDestroyedAreDiscarded) {
    deliver("RR 3 10 7");
    client.reset();
    qxplatform::pumpPending();
    EXPECT_EQ(events.events, std::vector<std::string>{"disconnected"});
}

}  // namespace
}  // namespace qxtest
