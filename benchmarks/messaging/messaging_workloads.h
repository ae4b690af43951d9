// The messaging workloads measured by bench_messaging (Google Benchmark) and
// tools/msgbench (plain timing, also built for Windows): written only on
// <windows.h> and the standard library.
//
// Each workload sets itself up in its constructor (threads, windows), does one
// operation per run() and tears down in its destructor.
#pragma once

#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>

namespace msgbench {

constexpr UINT kPing = WM_USER + 1;     // answered with wParam + 1
constexpr UINT kCount = WM_USER + 2;    // posted; counted
constexpr UINT kMark = WM_USER + 3;     // posted after a burst; reports the count
constexpr UINT kHold = WM_USER + 6;     // sent; lParam: a Flag, waited for before the answer
constexpr UINT kRelease = WM_USER + 7;  // sets the server's flag `released`
constexpr DWORD kReplyCode = 2984;
constexpr DWORD kLoopTimeout = 100;  // milliseconds: the timeout of the loops that wait with one
constexpr DWORD kReleasePatience = 10000;  // milliseconds a server thread is given to take kRelease
constexpr DWORD kBlockSize = 512;

// A value one thread sets and another waits for.
class Flag {
public:
    void set(std::uint64_t value) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            value_ = value;
        }
        changed_.notify_all();
    }
    void waitFor(std::uint64_t value) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return value_ >= value; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t value_ = 0;
};

// What the server window keeps; it lives on the server thread.
struct ServerState {
    std::uint64_t counted = 0;
    Flag marked;
    Flag released;  // a thread of the loop kind inOwnSend goes back to GetMessageA
};

// How the thread that owns the server window waits for its messages.
enum class Loop {
    getMessage,             // GetMessageA
    msgWait,                // PeekMessageA, then MsgWaitForMultipleObjects with a timeout
    msgWaitInputAvailable,  // the same with MsgWaitForMultipleObjectsEx and MWMO_INPUTAVAILABLE
    waitMessage,            // PeekMessageA, then WaitMessage
    inOwnSend,              // inside its own SendMessageA to a thread that answers once released
};

// Runs the thread's message loop until WM_QUIT.
inline void runLoop(Loop loop, ServerState& state);

// The peer's window: answers pings, answers a WM_COPYDATA request by sending
// a WM_COPYDATA reply back to the requester window (given as wParam) before
// it returns (or, without a requester, by returning the block's last byte),
// and counts posted messages.
inline LRESULT CALLBACK serverProc(HWND self, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCREATE:
        SetWindowLongPtrA(self, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
        return DefWindowProcA(self, message, wParam, lParam);  // which gives the window its title
    case kPing: return static_cast<LRESULT>(wParam + 1);
    case kHold: reinterpret_cast<Flag*>(lParam)->waitFor(1); return 0;
    case kRelease: reinterpret_cast<ServerState*>(GetWindowLongPtrA(self, GWLP_USERDATA))->released.set(1); return 0;
    case kCount: ++reinterpret_cast<ServerState*>(GetWindowLongPtrA(self, GWLP_USERDATA))->counted; return 0;
    case kMark: {
        auto* state = reinterpret_cast<ServerState*>(GetWindowLongPtrA(self, GWLP_USERDATA));
        state->marked.set(state->counted);
        return 0;
    }
    case WM_COPYDATA: {
        const auto* request = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (wParam == 0) return request->cbData == 0 ? 0 : static_cast<const unsigned char*>(request->lpData)[request->cbData - 1];
        char block[kBlockSize];
        std::memcpy(block, request->lpData, std::min<DWORD>(request->cbData, kBlockSize));
        block[0] = 'R';
        COPYDATASTRUCT reply{kReplyCode << 16, kBlockSize, block};
        SendMessageA(reinterpret_cast<HWND>(wParam), WM_COPYDATA, reinterpret_cast<WPARAM>(self),
                     reinterpret_cast<LPARAM>(&reply));
        return 1;
    }
    default: return DefWindowProcA(self, message, wParam, lParam);
    }
}

// The requester's window: keeps the reply block, as the transport's reply slot does.
inline char replySlot[kBlockSize];

inline LRESULT CALLBACK requesterProc(HWND self, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COPYDATA) return DefWindowProcA(self, message, wParam, lParam);
    const auto* reply = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    std::memcpy(replySlot, reply->lpData, std::min<DWORD>(reply->cbData, kBlockSize));
    return 1;
}

inline void registerClasses() {
    static const bool registered = [] {
        WNDCLASSA description{};
        description.lpfnWndProc = serverProc;
        description.lpszClassName = "qxBenchServer";
        RegisterClassA(&description);
        description.lpfnWndProc = requesterProc;
        description.lpszClassName = "qxBenchRequester";
        RegisterClassA(&description);
        return true;
    }();
    (void)registered;
}

inline HWND createWindow(const char* className, void* parameter) {
    return CreateWindowExA(0, className, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, parameter);
}

// A thread that owns a server window and runs a message loop.
class ServerThread {
public:
    explicit ServerThread(Loop loop = Loop::getMessage) {
        registerClasses();
        std::promise<HWND> created;
        auto window = created.get_future();
        thread_ = std::thread([this, &created, loop] {
            HWND own = createWindow("qxBenchServer", &state_);
            MSG message;
            PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
            threadId_ = GetCurrentThreadId();
            created.set_value(own);
            runLoop(loop, state_);
            DestroyWindow(own);
        });
        window_ = window.get();
    }
    ~ServerThread() {
        DWORD_PTR ignored;
        SendMessageTimeoutA(window_, kRelease, 0, 0, SMTO_NORMAL, kReleasePatience, &ignored);
        PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
    ServerThread(const ServerThread&) = delete;
    ServerThread& operator=(const ServerThread&) = delete;

    HWND window() const { return window_; }
    ServerState& state() { return state_; }

private:
    ServerState state_;
    std::thread thread_;
    DWORD threadId_ = 0;
    HWND window_ = nullptr;
};

// Dispatches what PeekMessageA finds; false once it found WM_QUIT.
inline bool dispatchPending() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) return false;
        DispatchMessageA(&message);
    }
    return true;
}

inline void runLoop(Loop loop, ServerState& state) {
    switch (loop) {
    case Loop::msgWait:
        while (dispatchPending()) MsgWaitForMultipleObjects(0, nullptr, FALSE, kLoopTimeout, QS_ALLINPUT);
        return;
    case Loop::msgWaitInputAvailable:
        while (dispatchPending())
            MsgWaitForMultipleObjectsEx(0, nullptr, kLoopTimeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        return;
    case Loop::waitMessage:
        while (dispatchPending()) WaitMessage();
        return;
    case Loop::inOwnSend: {
        ServerThread holder;  // answers once kRelease came to this thread's window
        SendMessageA(holder.window(), kHold, 0, reinterpret_cast<LPARAM>(&state.released));
        break;
    }
    case Loop::getMessage: break;
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
}

// One cross-thread SendMessageA and its answer, to a thread waiting in the
// given way.
class SendRoundTrip {
public:
    explicit SendRoundTrip(Loop loop = Loop::getMessage) : server_(loop) {}

    bool run() {
        const LRESULT answer = SendMessageA(server_.window(), kPing, counter_, 0);
        return answer == static_cast<LRESULT>(++counter_);
    }

private:
    ServerThread server_;
    WPARAM counter_ = 0;
};

// The transport's exchange: a 512-byte WM_COPYDATA request whose WM_COPYDATA
// reply the server sends back to the requester's window during the send.
class CopyDataExchange {
public:
    CopyDataExchange() : requester_(createWindow("qxBenchRequester", nullptr)) {
        std::memset(request_, 'q', sizeof request_);
    }
    ~CopyDataExchange() { DestroyWindow(requester_); }
    CopyDataExchange(const CopyDataExchange&) = delete;
    CopyDataExchange& operator=(const CopyDataExchange&) = delete;

    bool run() {
        COPYDATASTRUCT envelope{(2124u << 16) | 3u, kBlockSize, request_};
        replySlot[0] = 0;
        const LRESULT result = SendMessageA(server_.window(), WM_COPYDATA, reinterpret_cast<WPARAM>(requester_),
                                           reinterpret_cast<LPARAM>(&envelope));
        return result == 1 && replySlot[0] == 'R';
    }

private:
    ServerThread server_;
    HWND requester_;
    char request_[kBlockSize];
};

// A burst of messages posted to another thread, until that thread has
// handled them all.
class PostBurst {
public:
    bool run(std::uint64_t count) {
        for (std::uint64_t n = 0; n < count; ++n)
            if (!PostMessageA(server_.window(), kCount, 0, 0)) return false;
        posted_ += count;
        PostMessageA(server_.window(), kMark, 0, 0);
        server_.state().marked.waitFor(posted_);
        return true;
    }

private:
    ServerThread server_;
    std::uint64_t posted_ = 0;
};

// The floor: one round trip between two threads over a mutex and a
// condition variable, blocking plainly.
class ConditionPingPong {
public:
    ConditionPingPong()
        : partner_([this] {
              std::unique_lock<std::mutex> lock(mutex_);
              for (;;) {
                  changed_.wait(lock, [&] { return turn_ != Turn::caller; });
                  if (turn_ == Turn::stop) return;
                  turn_ = Turn::caller;
                  changed_.notify_all();
              }
          }) {}
    ~ConditionPingPong() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            turn_ = Turn::stop;
        }
        changed_.notify_all();
        partner_.join();
    }
    ConditionPingPong(const ConditionPingPong&) = delete;
    ConditionPingPong& operator=(const ConditionPingPong&) = delete;

    bool run() {
        std::unique_lock<std::mutex> lock(mutex_);
        turn_ = Turn::partner;
        changed_.notify_all();
        changed_.wait(lock, [&] { return turn_ == Turn::caller; });
        return true;
    }

private:
    enum class Turn { caller, partner, stop };
    std::mutex mutex_;
    std::condition_variable changed_;
    Turn turn_ = Turn::caller;
    std::thread partner_;
};

}  // namespace msgbench
