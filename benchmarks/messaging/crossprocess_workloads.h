// Messaging workloads between two processes: this one and a peer (msgbench
// started with --peer, found beside the running program) that owns the server
// window. On POSIX hosts also a Unix-domain socket ping-pong between the same
// two processes, as the reference for the cost of one wake-up each way.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstring>
#include <iterator>
#include <string>
#include <thread>

#ifndef _WIN32
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "child_process.h"
#include "messaging_workloads.h"

namespace msgbench {

constexpr UINT kMarkBack = WM_USER + 4;  // posted after a burst: answered by posting kMarked to wParam
constexpr UINT kMarked = WM_USER + 5;    // wParam: how many kCount the peer has handled
constexpr const char* kPeerClass = "qxBenchPeer";

inline std::atomic<std::uint64_t> markedCount{0};

inline LRESULT CALLBACK peerProc(HWND self, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kMarkBack: {
        const auto* state = reinterpret_cast<ServerState*>(GetWindowLongPtrA(self, GWLP_USERDATA));
        PostMessageA(reinterpret_cast<HWND>(wParam), kMarked, static_cast<WPARAM>(state->counted), 0);
        return 0;
    }
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return serverProc(self, message, wParam, lParam);
    }
}

inline LRESULT CALLBACK markedProc(HWND self, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kMarked) return requesterProc(self, message, wParam, lParam);
    markedCount = wParam;
    return 0;
}

inline void registerPeerClasses() {
    static const bool registered = [] {
        registerClasses();
        WNDCLASSA description{};
        description.lpfnWndProc = peerProc;
        description.lpszClassName = kPeerClass;
        RegisterClassA(&description);
        description.lpfnWndProc = markedProc;
        description.lpszClassName = "qxBenchMarked";
        RegisterClassA(&description);
        return true;
    }();
    (void)registered;
}

// The loop's name on the peer's command line, and back.
inline const char* const kLoopNames[] = {"get", "msgwait", "msgwaitinput", "waitmessage", "inownsend"};

inline Loop loopNamed(const char* name) {
    for (std::size_t n = 0; n < std::size(kLoopNames); ++n)
        if (std::strcmp(name, kLoopNames[n]) == 0) return static_cast<Loop>(n);
    return Loop::getMessage;
}

// The peer process's side: the server window titled `title`, served by a
// loop of the given kind until WM_CLOSE, and (POSIX) an echo of the socket
// `socket` (-1: none) on a thread of its own.
inline int runPeer(const std::string& title, int socket, Loop loop = Loop::getMessage) {
    registerPeerClasses();
    ServerState state;
    HWND window = CreateWindowExA(0, kPeerClass, title.c_str(), 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, &state);
    if (window == nullptr) return 1;
    std::thread echo;
#ifndef _WIN32
    if (socket >= 0) {
        echo = std::thread([socket] {
            char buffer[kBlockSize];
            for (;;) {
                const ssize_t got = ::read(socket, buffer, sizeof buffer);
                if (got <= 0 || ::write(socket, buffer, static_cast<std::size_t>(got)) != got) return;
            }
        });
    }
#else
    (void)socket;
#endif
    runLoop(loop, state);
    if (echo.joinable()) echo.detach();  // ends with the process
    return 0;
}

// This process's side: starts the peer and finds its window.
class PeerProcess {
public:
    explicit PeerProcess(int socket = -1, Loop loop = Loop::getMessage)
        : title_("qxBenchPeer-" + std::to_string(GetCurrentProcessId())),
          process_(arguments(title_, socket, loop), mp::siblingProgram("msgbench")) {
        registerPeerClasses();
        mp::pumpUntilTrue([&] { return (window_ = FindWindowA(kPeerClass, title_.c_str())) != nullptr; }, mp::kPatience);
    }
    ~PeerProcess() {
        DWORD_PTR ignored;
        SendMessageTimeoutA(window_, kRelease, 0, 0, SMTO_NORMAL, mp::kPatience, &ignored);
        PostMessageA(window_, WM_CLOSE, 0, 0);
        process_.wait(mp::kPatience);
    }
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    HWND window() const { return window_; }
    bool ready() const { return window_ != nullptr; }

private:
    static std::vector<std::string> arguments(const std::string& title, int socket, Loop loop) {
        return {"--peer", title, std::to_string(socket), kLoopNames[static_cast<int>(loop)]};
    }
    std::string title_;
    mp::ChildProcess process_;
    HWND window_ = nullptr;
};

// One SendMessageA to the peer process, whose thread waits in the given way.
class CrossProcessSend {
public:
    explicit CrossProcessSend(Loop loop = Loop::getMessage) : peer_(-1, loop) {}

    bool run() {
        const LRESULT answer = SendMessageA(peer_.window(), kPing, counter_, 0);
        return answer == static_cast<LRESULT>(++counter_);
    }

private:
    PeerProcess peer_;
    WPARAM counter_ = 0;
};

// The transport's exchange with a peer process: a 512-byte WM_COPYDATA
// request answered by a 512-byte WM_COPYDATA reply during the send.
class CrossProcessCopyData {
public:
    CrossProcessCopyData() : requester_(createWindow("qxBenchRequester", nullptr)) {
        std::memset(request_, 'q', sizeof request_);
    }
    ~CrossProcessCopyData() { DestroyWindow(requester_); }
    CrossProcessCopyData(const CrossProcessCopyData&) = delete;
    CrossProcessCopyData& operator=(const CrossProcessCopyData&) = delete;

    bool run() {
        COPYDATASTRUCT envelope{(2124u << 16) | 3u, kBlockSize, request_};
        replySlot[0] = 0;
        const LRESULT result = SendMessageA(peer_.window(), WM_COPYDATA, reinterpret_cast<WPARAM>(requester_),
                                           reinterpret_cast<LPARAM>(&envelope));
        return result == 1 && replySlot[0] == 'R';
    }

private:
    PeerProcess peer_;
    HWND requester_;
    char request_[kBlockSize];
};

// One 512-byte WM_COPYDATA sent to the peer process, answered by its result:
// a single round trip that carries a block.
class CrossProcessCopyDataSend {
public:
    CrossProcessCopyDataSend() { std::memset(block_, 'q', sizeof block_); }

    bool run() {
        block_[kBlockSize - 1] = static_cast<char>('a' + counter_++ % 26);
        COPYDATASTRUCT envelope{1, kBlockSize, block_};
        return SendMessageA(peer_.window(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&envelope)) ==
               static_cast<unsigned char>(block_[kBlockSize - 1]);
    }

private:
    PeerProcess peer_;
    char block_[kBlockSize];
    unsigned counter_ = 0;
};

// A burst of messages posted to the peer process, until it has handled them.
class CrossProcessPosts {
public:
    CrossProcessPosts() : marked_(createWindow("qxBenchMarked", nullptr)) { markedCount = 0; }
    ~CrossProcessPosts() { DestroyWindow(marked_); }
    CrossProcessPosts(const CrossProcessPosts&) = delete;
    CrossProcessPosts& operator=(const CrossProcessPosts&) = delete;

    bool run(std::uint64_t count) {
        for (std::uint64_t n = 0; n < count; ++n)
            if (!PostMessageA(peer_.window(), kCount, 0, 0)) return false;
        posted_ += count;
        PostMessageA(peer_.window(), kMarkBack, reinterpret_cast<WPARAM>(marked_), 0);
        return mp::pumpUntilTrue([&] { return markedCount.load() >= posted_; }, mp::kPatience);
    }

private:
    PeerProcess peer_;
    HWND marked_;
    std::uint64_t posted_ = 0;
};

#ifndef _WIN32
// The reference: `size` bytes to the peer process over a Unix-domain stream
// socket and back, blocking plainly, `rounds` times.
class SocketPingPong {
public:
    SocketPingPong(std::size_t size, int rounds)
        : size_(size), rounds_(rounds), sockets_{makePair()}, peer_(sockets_[1]) {
        ::close(sockets_[1]);
    }
    ~SocketPingPong() { ::close(sockets_[0]); }
    SocketPingPong(const SocketPingPong&) = delete;
    SocketPingPong& operator=(const SocketPingPong&) = delete;

    bool run() {
        for (int round = 0; round < rounds_; ++round)
            if (!roundTrip()) return false;
        return true;
    }

private:
    bool roundTrip() {
        if (::write(sockets_[0], buffer_, size_) != static_cast<ssize_t>(size_)) return false;
        std::size_t got = 0;
        while (got < size_) {
            const ssize_t part = ::read(sockets_[0], buffer_ + got, size_ - got);
            if (part <= 0) return false;
            got += static_cast<std::size_t>(part);
        }
        return true;
    }

    struct Pair {
        int fds[2];
        int operator[](int i) const { return fds[i]; }
    };
    static Pair makePair() {
        Pair pair{{-1, -1}};
        ::socketpair(AF_UNIX, SOCK_STREAM, 0, pair.fds);
        return pair;
    }
    std::size_t size_;
    int rounds_;
    Pair sockets_;
    PeerProcess peer_;
    char buffer_[kBlockSize] = {};
};
#endif

}  // namespace msgbench
