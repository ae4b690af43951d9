// Window messaging between processes: real child programs (mp_child) own
// windows that this test program sends and posts to, and that send to each
// other. Built for Windows too, so that Wine's messaging checks the same
// behaviour.
#include <gtest/gtest.h>

#include <windows.h>

#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "child_process.h"
#include "mp_peer.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#endif

namespace {

using mp::ChildProcess;

class MultiProcess : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(mp::registerPeerClass());
        own = mp::createPeer(ownState, name("parent"), HWND_MESSAGE);
        ASSERT_NE(own, nullptr);
        baseline = qxplatform::sessionWindowCount();
    }
    void TearDown() override {
        children.clear();
        DestroyWindow(own);
        UnregisterClassA(mp::kPeerClass, GetModuleHandleA(nullptr));
    }

    // A title that no other test program running beside this one uses.
    static std::string name(const std::string& base) { return base + "-" + std::to_string(GetCurrentProcessId()); }

    ChildProcess& start(const std::vector<std::string>& arguments) {
        children.push_back(std::make_unique<ChildProcess>(arguments));
        EXPECT_TRUE(children.back()->started());
        return *children.back();
    }

    // Starts a child serving a window with that title and returns the window.
    HWND serve(const std::string& title) {
        start({"serve", title});
        return mp::awaitPeer(title);
    }

    static LRESULT query(HWND window, mp::Counter counter) { return SendMessageA(window, mp::kQuery, counter, 0); }

    // Starts a child serving a window with that title, hung in a handler
    // from the first message posted to it on: it reads nothing after. Once
    // a send is not answered, the hang has begun.
    HWND serveDeaf(const std::string& title) {
        const HWND peer = serve(title);
        if (peer == nullptr || !PostMessageA(peer, mp::kHang, 0, 0)) return nullptr;
        DWORD_PTR ignored = 0;
        for (int tries = 0; tries < 100 && SendMessageTimeoutA(peer, mp::kPing, 0, 0, SMTO_NORMAL, 100, &ignored);)
            ++tries;
        return peer;
    }

    // Fills the queue of a window whose thread reads nothing, as far as other
    // processes can: posts up to its quota, then sends given up at once, of
    // blocks ever smaller, down to none.
    void fill(HWND deaf) const {
        for (WPARAM posted = 0; posted < 20000 && PostMessageA(deaf, mp::kCount, posted, 0);) ++posted;
        std::vector<unsigned char> block(65536);
        DWORD_PTR ignored = 0;
        for (DWORD size = 65536;; size /= 2) {
            COPYDATASTRUCT data{2, size, block.data()};
            for (int sends = size == 65536 ? 16 : 2; sends > 0; --sends)
                SendMessageTimeoutA(deaf, WM_COPYDATA, reinterpret_cast<WPARAM>(own), reinterpret_cast<LPARAM>(&data),
                                    SMTO_NORMAL, 1, &ignored);
            if (size == 0) break;
        }
    }

    // The session's window count is back where it was (where the platform
    // tells it).
    void expectWindowsBack(long extra = 0) {
        if (baseline < 0) return;
        EXPECT_TRUE(mp::pumpUntilTrue([&] { return qxplatform::sessionWindowCount() == baseline + extra; }, mp::kPatience))
            << qxplatform::sessionWindowCount() << " windows, " << baseline + extra << " expected";
    }

    mp::PeerState ownState;
    HWND own = nullptr;
    long baseline = 0;
    std::vector<std::unique_ptr<ChildProcess>> children;
};

TEST_F(MultiProcess, ASendReachesAWindowOfAnotherProcess) {
    const HWND peer = serve(name("peer"));
    ASSERT_NE(peer, nullptr);
    EXPECT_TRUE(IsWindow(peer));
    EXPECT_EQ(SendMessageA(peer, mp::kPing, 41, 0), 42);
    DWORD process = 0;
    EXPECT_NE(GetWindowThreadProcessId(peer, &process), 0u);
    EXPECT_EQ(process, children.back()->id());
    char className[64] = {};
    EXPECT_GT(GetClassNameA(peer, className, sizeof className), 0);
    EXPECT_STREQ(className, mp::kPeerClass);
}

TEST_F(MultiProcess, AHandleGivenAsItsLowSixteenBitsReachesTheWindow) {
    const HWND peer = serve(name("peer"));
    ASSERT_NE(peer, nullptr);
    EXPECT_EQ(SendMessageA(reinterpret_cast<HWND>(mp::low16(peer)), mp::kPing, 1, 0), 2);
    EXPECT_TRUE(PostMessageA(reinterpret_cast<HWND>(mp::low16(peer)), mp::kCount, 0, 0));
    EXPECT_TRUE(mp::pumpUntilTrue([&] { return query(peer, mp::posted) == 1; }, mp::kPatience));
}

TEST_F(MultiProcess, PostedMessagesArriveInOrder) {
    const HWND peer = serve(name("peer"));
    ASSERT_NE(peer, nullptr);
    constexpr WPARAM kPosts = 5000;
    for (WPARAM i = 0; i < kPosts; ++i) ASSERT_TRUE(PostMessageA(peer, mp::kCount, i, 0)) << i;
    EXPECT_TRUE(mp::pumpUntilTrue([&] { return query(peer, mp::posted) == static_cast<LRESULT>(kPosts); }, mp::kPatience));
    EXPECT_EQ(query(peer, mp::outOfOrder), 0);
}

#ifndef _WIN32
// A process that does not read its messages makes posts to it fail once its
// queue is full (Windows allows 10,000 messages), and never makes the poster
// wait. Our layer only: Wine queues posts without a limit.
TEST_F(MultiProcess, PostsToAProcessThatReadsNothingFailOnceItsQueueIsFull) {
    const HWND peer = serveDeaf(name("deaf"));
    ASSERT_NE(peer, nullptr);
    WPARAM posted = 0;
    while (posted < 100000 && PostMessageA(peer, mp::kCount, posted, 0)) ++posted;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA));
    EXPECT_EQ(posted, 10000u);
}
#endif

// The child answers a WM_COPYDATA by sending the block back reversed before
// it returns: both directions, each block readable during its handling.
TEST_F(MultiProcess, CopyDataTravelsBothWays) {
    const HWND peer = serve(name("peer"));
    ASSERT_NE(peer, nullptr);
    for (const DWORD size : {0u, 1u, 512u, 65536u}) {
        std::vector<unsigned char> block(size);
        for (DWORD i = 0; i < size; ++i) block[i] = static_cast<unsigned char>(i * 7 + 3);
        COPYDATASTRUCT data{2984, size, block.empty() ? nullptr : block.data()};
        mp::lastCopy().assign(3, 0xEE);
        EXPECT_EQ(SendMessageA(peer, WM_COPYDATA, reinterpret_cast<WPARAM>(own), reinterpret_cast<LPARAM>(&data)),
                  static_cast<LRESULT>(size))
            << size;
        EXPECT_EQ(mp::lastCopy(), std::vector<unsigned char>(block.rbegin(), block.rend())) << size;
    }
}

TEST_F(MultiProcess, CopyDataCannotBePosted) {
    const HWND peer = serve(name("peer"));
    ASSERT_NE(peer, nullptr);
    COPYDATASTRUCT data{1, 0, nullptr};
    EXPECT_FALSE(PostMessageA(peer, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)));
}

// This process sends to A, A to B and B back to this process, each while the
// previous one waits in its send.
TEST_F(MultiProcess, NestedSendsCrossThreeProcesses) {
    const HWND first = serve(name("first"));
    const HWND second = serve(name("second"));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    const WPARAM route = mp::low16(second) | (mp::low16(own) << 16);
    EXPECT_EQ(SendMessageA(first, mp::kForward, route, 10), 13);
}

// Two processes send to each other at the same time, many times over.
TEST_F(MultiProcess, MutualSendsNeverDeadlock) {
    ChildProcess& left = start({"hammer", name("left"), name("right"), "2000"});
    ChildProcess& right = start({"hammer", name("right"), name("left"), "2000"});
    EXPECT_EQ(left.wait(mp::kPatience), 0);
    EXPECT_EQ(right.wait(mp::kPatience), 0);
}

// Broadcasts reach the top-level windows of every process and never a
// message-only window; a private message number is not broadcast.
TEST_F(MultiProcess, BroadcastsReachTheTopLevelWindowsOfEveryProcess) {
    const HWND peers[] = {serve(name("one")), serve(name("two"))};
    const HWND hidden[] = {mp::awaitPeer(name("one") + "-hidden"), mp::awaitPeer(name("two") + "-hidden")};
    for (int which = 0; which < 2; ++which) {
        ASSERT_NE(peers[which], nullptr);
        ASSERT_NE(hidden[which], nullptr);
    }
    EXPECT_TRUE(SendMessageA(HWND_BROADCAST, mp::kBroadcast, 0, 0));
    SendMessageA(HWND_BROADCAST, mp::kPrivateBroadcast, 0, 0);
    EXPECT_TRUE(PostMessageA(HWND_BROADCAST, mp::kBroadcast, 0, 0));
    for (int which = 0; which < 2; ++which) {
        EXPECT_TRUE(mp::pumpUntilTrue([&] { return query(peers[which], mp::broadcasts) == 2; }, mp::kPatience));
        EXPECT_EQ(query(peers[which], mp::privateBroadcasts), 0);
        EXPECT_EQ(query(hidden[which], mp::broadcasts), 0);
    }
    EXPECT_EQ(ownState.counters[mp::broadcasts], 0u);
}

// Several processes send to each other in a ring for a bounded count; at the
// end the session has only the windows it had before.
TEST_F(MultiProcess, ASoakOfSeveralProcessesLeavesTheTableAsItWas) {
    constexpr int kProcesses = 4;
    for (int i = 0; i < kProcesses; ++i)
        start({"hammer", name("ring" + std::to_string(i)), name("ring" + std::to_string((i + 1) % kProcesses)), "500"});
    for (auto& child : children) EXPECT_EQ(child->wait(mp::kPatience), 0);
    expectWindowsBack();
}

// ------------------------------------------------------------------ a neighbour that reads nothing

// Kills a child that still runs after the patience, so that a wait without
// end fails its test instead of hanging it.
class Watchdog {
public:
    Watchdog(ChildProcess& child, DWORD patience)
        : thread_([this, &child, patience] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!stopped_.wait_for(lock, std::chrono::milliseconds(patience), [this] { return done_; })) child.kill();
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        stopped_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool done_ = false;
    std::thread thread_;
};

// The bound of a test's waits on a process that reads nothing (filling its
// queue takes seconds under Wine), and of the process's life.
constexpr DWORD kWatch = 10000;

// Once the queue of a process that reads nothing is full, a send to it still
// ends at its timeout, and the sender answers meanwhile what other processes
// send to it.
TEST_F(MultiProcess, ASendToAFullQueueEndsAtItsTimeoutAndAnswersSendsMeanwhile) {
    const HWND deaf = serveDeaf(name("deaf"));
    ASSERT_NE(deaf, nullptr);
    Watchdog watchdog(*children.back(), 3 * kWatch);
    fill(deaf);
    start({"pound", name("parent"), "100000000"});
    ASSERT_TRUE(mp::pumpUntilTrue([&] { return ownState.counters[mp::pings] > 0; }, mp::kPatience));
    const auto pinged = ownState.counters[mp::pings];
    const DWORD began = GetTickCount();
    DWORD_PTR ignored = 0;
    SetLastError(0);
    EXPECT_EQ(SendMessageTimeoutA(deaf, mp::kPing, 1, 0, SMTO_NORMAL, 300, &ignored), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_LT(GetTickCount() - began, kWatch);
    EXPECT_GT(ownState.counters[mp::pings], pinged);
}

// A process gives up a send and then reads nothing: once its queue is full,
// the answer to that send still never holds up the window that answers it.
TEST_F(MultiProcess, TheAnswerToAProcessThatGaveUpAndReadsNothingNeverWaits) {
    const HWND replier = serve(name("replier"));
    ASSERT_NE(replier, nullptr);
    mp::PeerState latchState;
    const HWND latch = mp::createPeer(latchState, name("latch"), nullptr);  // held by the replier until destroyed
    ChildProcess& quitter = start({"giveup", name("quitter"), name("replier"), name("latch")});
    const HWND deaf = mp::awaitPeer(name("quitter"));
    ASSERT_NE(deaf, nullptr);
    Watchdog watchdog(quitter, 3 * kWatch);
    auto filled = std::async(std::launch::async, [&] { fill(deaf); });
    EXPECT_EQ(filled.wait_for(std::chrono::milliseconds(kWatch)), std::future_status::ready);
    EXPECT_TRUE(DestroyWindow(latch));  // the replier answers into the full queue
    DWORD_PTR answer = 0;
    EXPECT_NE(SendMessageTimeoutA(replier, mp::kPing, 41, 0, SMTO_NORMAL, kWatch, &answer), 0);
    EXPECT_EQ(answer, 42u);
}

#ifndef _WIN32
// A flood of posts to a process that reads them slowly: at most 10,000 wait
// for it at any time, in its ring and its queue together; the posts beyond
// fail, and those that went in all arrive, in order. Our layer only: Wine
// queues posts without a limit.
TEST_F(MultiProcess, AFloodKeepsAtMostTenThousandPostsWaitingForASlowReader) {
    const HWND peer = serve(name("slow"));
    ASSERT_NE(peer, nullptr);
    constexpr LPARAM kMicroseconds = 20;  // to handle each post
    WPARAM posted = 0;
    while (posted < 40000 && PostMessageA(peer, mp::kCount, posted, kMicroseconds)) ++posted;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA));
    EXPECT_LE(posted - static_cast<WPARAM>(query(peer, mp::posted)), 10000u);
    EXPECT_TRUE(mp::pumpUntilTrue([&] { return query(peer, mp::posted) == static_cast<LRESULT>(posted); }, mp::kPatience));
    EXPECT_EQ(query(peer, mp::outOfOrder), 0);
}
#endif

// ------------------------------------------------------------------ death

// The moment of the kill is random; the seed is printed to repeat a run.
DWORD randomDelay(DWORD most) {
    static const unsigned seed = std::random_device{}();
    static std::mt19937 generator(seed);
    static const bool told = (std::cout << "kill delays from seed " << seed << std::endl, true);
    (void)told;
    return std::uniform_int_distribution<DWORD>(0, most)(generator);
}

void sleepFor(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

// A send to a window whose process dies while handling it returns 0, and the
// window is gone with its process.
TEST_F(MultiProcess, ASendToAProcessKilledWhileHandlingItReturnsZero) {
    const HWND peer = serve(name("victim"));
    ASSERT_NE(peer, nullptr);
    auto answer = std::async(std::launch::async, [peer] { return SendMessageA(peer, mp::kHang, 0, 0); });
    sleepFor(randomDelay(30));
    children.back()->kill();
    ASSERT_EQ(answer.wait_for(std::chrono::milliseconds(mp::kPatience)), std::future_status::ready);
    EXPECT_EQ(answer.get(), 0);
    EXPECT_TRUE(mp::pumpUntilTrue([&] { return !IsWindow(peer); }, mp::kPatience));
    EXPECT_EQ(SendMessageA(peer, mp::kPing, 1, 0), 0);
    EXPECT_EQ(FindWindowA(mp::kPeerClass, name("victim").c_str()), nullptr);
    expectWindowsBack();
}

// A process killed at a random moment while it is sent to, or while it
// sends: the survivor goes on and this process keeps reaching it.
TEST_F(MultiProcess, SurvivorsGoOnWhenAPeerIsKilledAtARandomMoment) {
    for (const bool victimSends : {false, true}) {
        SCOPED_TRACE(victimSends ? "the victim sends" : "the victim is sent to");
        const std::string victimTitle = name(victimSends ? "victim-sender" : "victim-target");
        const std::string survivorTitle = name(victimSends ? "survivor-target" : "survivor-sender");
        ChildProcess* victim;
        ChildProcess* survivor;
        HWND survivorWindow = nullptr;
        HWND target;  // the window that the sender pounds
        if (victimSends) {
            target = survivorWindow = serve(survivorTitle);
            survivor = children.back().get();
            victim = &start({"pound", survivorTitle, "100000000"});
        } else {
            target = serve(victimTitle);
            victim = children.back().get();
            survivor = &start({"pound", victimTitle, "100000000"});
        }
        ASSERT_NE(target, nullptr);
        ASSERT_TRUE(mp::pumpUntilTrue([&] { return query(target, mp::pings) > 0; }, mp::kPatience));  // under way
        sleepFor(randomDelay(50));
        victim->kill();
        EXPECT_NE(victim->wait(mp::kPatience), 0);
        if (victimSends) {
            ASSERT_NE(survivorWindow, nullptr);
            EXPECT_EQ(SendMessageA(survivorWindow, mp::kPing, 5, 0), 6);
            EXPECT_TRUE(PostMessageA(survivorWindow, WM_CLOSE, 0, 0));
        }
        EXPECT_EQ(survivor->wait(mp::kPatience), 0);
        children.clear();
        expectWindowsBack();
    }
}

// A process killed while it may hold the session's locks (the window
// table's, this thread's ring's): it churns windows and posts to this
// process's window until it is killed at a random moment. Each time, the rest
// of the session goes on: sends, posts, new windows.
TEST_F(MultiProcess, ProcessesKilledWhileHoldingLocksLeaveTheSessionWorking) {
    const HWND bystander = serve(name("bystander"));
    ASSERT_NE(bystander, nullptr);
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const auto before = ownState.counters[mp::pings];
        ChildProcess& victim = start({"churn", name("parent")});
        ASSERT_TRUE(mp::pumpUntilTrue([&] { return ownState.counters[mp::pings] > before; }, mp::kPatience));
        sleepFor(randomDelay(20));
        victim.kill();
        EXPECT_NE(victim.wait(mp::kPatience), 0);

        DWORD_PTR answer = 0;
        EXPECT_NE(SendMessageTimeoutA(bystander, mp::kPing, 41, 0, SMTO_NORMAL, mp::kPatience, &answer), 0);
        EXPECT_EQ(answer, 42u);
        mp::PeerState state;
        const HWND fresh = mp::createPeer(state, name("fresh"), nullptr);
        EXPECT_EQ(FindWindowA(mp::kPeerClass, name("fresh").c_str()), fresh);
        EXPECT_TRUE(DestroyWindow(fresh));
        const auto pinged = ownState.counters[mp::pings];
        EXPECT_TRUE(PostMessageA(own, mp::kPing, 0, 0));
        EXPECT_TRUE(mp::pumpUntilTrue([&] { return ownState.counters[mp::pings] > pinged; }, mp::kPatience));
    }
    children.clear();
    expectWindowsBack();
}

#ifndef _WIN32
// Another user's process pointed at this user's session is refused, with a
// message that says why.
TEST_F(MultiProcess, AnotherUserCannotJoinTheSession) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a child as another user";
    char directory[] = "/tmp/qx-mp-XXXXXX";
    ASSERT_NE(::mkdtemp(directory), nullptr);
    ASSERT_EQ(::chmod(directory, 0755), 0);
    const std::string session = "QX_SESSION=" + name("guarded");
    const std::string runtime = std::string("XDG_RUNTIME_DIR=") + directory;

    // A process of this user makes the session there...
    const std::string program = mp::childProgram();
    const auto run = [&](uid_t user, const char* mode, int errorPipe) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (errorPipe >= 0) ::dup2(errorPipe, STDERR_FILENO);
            if (user != 0 && (::setgid(user) != 0 || ::setuid(user) != 0)) ::_exit(100);
            char* arguments[] = {const_cast<char*>(program.c_str()), const_cast<char*>(mode), nullptr};
            char* environment[] = {const_cast<char*>(session.c_str()), const_cast<char*>(runtime.c_str()), nullptr};
            ::execve(program.c_str(), arguments, environment);
            ::_exit(101);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run(0, "join", -1), 0);
    // ... that another user cannot join.
    int errors[2];
    ASSERT_EQ(::pipe(errors), 0);
    const int refusedCode = run(65534, "join", errors[1]);
    ::close(errors[1]);
    char text[512] = {};
    const ssize_t length = ::read(errors[0], text, sizeof text - 1);
    ::close(errors[0]);
    EXPECT_EQ(refusedCode, 3) << text;
    EXPECT_GT(length, 0);
    EXPECT_NE(std::string(text).find("window session refused"), std::string::npos) << text;
    EXPECT_NE(std::string(text).find("belongs to another user"), std::string::npos) << text;
    ::rmdir((std::string(directory) + "/qx").c_str());
    ::rmdir(directory);
}
#endif

}  // namespace
