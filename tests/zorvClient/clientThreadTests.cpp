// ClientThread: a client on a thread of its own, driven from other threads.
#include <atomic>
#include <chrono>
#include <condition_variable>

#include "ClientThread.h"
#include "OrqHub.h"
#include "TempDir.h"
#include "zorvClientTestSupport.h"

namespace zorvtest {
namespace {

// Waits, with a deadline, until done() holds; the client's thread does the work.
template <typename Done>
bool eventually(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

TEST(ClientThread, WorkRunsOnTheClientsThreadInOrder) {
    std::thread::id clientThread;
    ClientThread thread([&](ZorvClient&) { clientThread = std::this_thread::get_id(); });
    std::vector<int> order;
    for (int i = 0; i < 100; ++i) {
        EXPECT_TRUE(thread.post([&, i](ZorvClient&) {
            EXPECT_EQ(std::this_thread::get_id(), clientThread);
            order.push_back(i);
        }));
    }
    EXPECT_EQ(thread.call([&](ZorvClient&) { return order.size(); }), 100u);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    EXPECT_NE(clientThread, std::this_thread::get_id());
}

TEST(ClientThread, CallRethrowsAndRunsInlineOnTheClientsThread) {
    ClientThread thread;
    EXPECT_THROW(thread.call([](ZorvClient&) -> int { throw std::runtime_error("no"); }), std::runtime_error);
    // Nested: a call made on the client's thread does not wait for itself.
    EXPECT_EQ(thread.call([&](ZorvClient&) { return thread.call([](ZorvClient&) { return 7; }); }), 7);
    // Posted work that throws is traced and the thread goes on.
    qxplatform::DebugCapture trace;
    thread.post([](ZorvClient&) { throw std::runtime_error("lost"); });
    EXPECT_EQ(thread.call([](ZorvClient&) { return 1; }), 1);
    EXPECT_EQ(trace.lines(), std::vector<std::string>{"ClientThread: work threw: lost\n"});
}

TEST(ClientThread, SetupFailureIsRethrownByTheConstructor) {
    EXPECT_THROW(ClientThread([](ZorvClient&) { throw std::invalid_argument("setup"); }), std::invalid_argument);
}

TEST(ClientThread, TimersRepeatUntilStop) {
    ClientThread thread;
    std::atomic<int> ticks{0};
    thread.every(1, [&](ZorvClient&) { ++ticks; });
    EXPECT_TRUE(eventually([&] { return ticks >= 5; }));
}

TEST(ClientThread, StopRunsPostedWorkThenRefusesMore) {
    ClientThread thread;
    std::atomic<int> ran{0};
    for (int i = 0; i < 10; ++i) thread.post([&](ZorvClient&) { ++ran; });
    thread.stop();
    EXPECT_EQ(ran, 10);
    EXPECT_FALSE(thread.post([&](ZorvClient&) { ++ran; }));
    EXPECT_THROW(thread.call([](ZorvClient&) { return 0; }), std::logic_error);
    EXPECT_THROW(thread.call([&](ZorvClient&) { return thread.onThread(); }), std::logic_error);
    thread.stop();  // a second stop does nothing
}

TEST(ClientThread, EventsArriveOnTheClientsThreadFromTheHub) {
    qxtest::TempDir facility{"qx-clientthread-"};
    facility.write("orq.ini", "[Hub]\nHighestDevice=3\n");
    facility.write("dev_003.ini", "[Device]\nType=router\nSources=16\nDestinations=16\n");
    orq::HubOptions options;
    options.configDirectory = facility.win();
    options.windowClass = "QxClientThreadHub";
    orq::OrqHub hub(options);
    ASSERT_TRUE(hub.start());

    std::atomic<int> source{-1};
    std::atomic<bool> onClientThread{false};
    ClientThread thread([&](ZorvClient& client) {
        client.RouterRevertiveEvent += [&, &self = thread](uint, uint, int src) {
            onClientThread = self.onThread();
            source = src;
        };
    });
    ASSERT_FALSE(thread.call([](ZorvClient& client) { return client.connect(IpcType::wm); }));
    thread.post([](ZorvClient& client) {
        client.revertiveRegister(3, 1, 16);
        client.routerCrosspoint(3, 4, 9, u",---", true);
    });
    EXPECT_TRUE(eventually([&] { return source == 9; }));
    EXPECT_TRUE(onClientThread);
    thread.stop();  // disposes on its thread: the hub sees the client leave
    EXPECT_TRUE(hub.waitFor([&] { return hub.clientCount() == 0; }, 5000));
}

}  // namespace
}  // namespace zorvtest
