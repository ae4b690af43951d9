// A thread's endpoint for messages from other processes: a Unix-domain
// datagram socket named after the process and thread in the session's
// directory, and the sockets it sends through, one connected to each peer
// endpoint it talks to (a connected socket skips the name lookup and can wait
// for room in the peer's queue).
#pragma once

#include <windows.h>

#include "post_ring.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace qxposix {

// What travels between endpoints: a sent or posted message, or the answer to
// a sent one. A block follows the header: a WM_COPYDATA block, or a block
// that lParam points to and that the receiver may rewrite (sendWithBlock),
// which the answer then carries back.
struct Frame {
    enum Kind : std::uint32_t { wake = 0, send = 1, post = 2, reply = 3 };
    std::uint32_t kind;
    std::uint32_t window;  // the target's full handle
    std::uint32_t message;
    std::uint32_t senderProcess;
    std::uint32_t senderThread;
    std::uint32_t handled;  // reply: the target handled the message
    std::uint64_t id;       // send and reply: the sender's number of the send
    std::uint64_t wParam;
    std::int64_t lParam;  // reply: the result
    std::uint64_t copyTag;
    std::uint32_t copyLength;
    std::uint32_t carries;  // Carries
    enum Carries : std::uint32_t { nothing = 0, copyData = 1, block = 2 };
};

// The largest WM_COPYDATA block that crosses processes.
constexpr std::size_t kMaxCopyData = 64 * 1024;

// Room for one received frame, the largest there can be: allocated once per
// thread and never cleared, since a wait may receive many small frames.
class FrameBuffer {
public:
    static constexpr std::size_t kCapacity = sizeof(Frame) + kMaxCopyData;
    FrameBuffer() : bytes_(new unsigned char[kCapacity]) {}
    unsigned char* data() { return bytes_.get(); }
    const unsigned char* data() const { return bytes_.get(); }
    std::size_t size() const { return size_; }
    void setSize(std::size_t size) { size_ = size; }

private:
    std::unique_ptr<unsigned char[]> bytes_;
    std::size_t size_ = 0;
};

class Endpoint {
public:
    static constexpr std::size_t kMaxCopyData = qxposix::kMaxCopyData;

    // Binds the socket at path; null on failure.
    static std::unique_ptr<Endpoint> open(const std::string& path);
    ~Endpoint();
    Endpoint(const Endpoint&) = delete;
    Endpoint& operator=(const Endpoint&) = delete;

    int socket() const { return socket_; }
    // Where other processes post to this endpoint.
    PostRing& ring() const { return *ring_; }

    // The next frame (header and block) without waiting; false when none.
    bool receive(FrameBuffer& buffer) const;
    // The next frame posted to the ring; false when none.
    bool take(FrameBuffer& buffer) const;

    // Hands a frame to the endpoint of the peer's thread. While the peer's
    // socket is full it waits for room, and runs drainOwn when frames for this
    // endpoint arrive meanwhile (so that two endpoints full of each other's
    // frames never wait for ever). False when the peer is gone.
    template <typename Drain>
    bool deliver(DWORD processId, DWORD threadId, const void* frame, std::size_t size, Drain drainOwn);
    // Posts a frame into the ring of the peer's thread (waking it if it
    // sleeps); while the ring is full, as deliver(). False when the peer is gone.
    template <typename Drain>
    bool post(DWORD processId, DWORD threadId, const void* frame, std::size_t size, Drain drainOwn);

private:
    Endpoint(int socket, std::string path, std::unique_ptr<PostRing> ring)
        : socket_(socket), path_(std::move(path)), ring_(std::move(ring)) {}
    PostRing* peerRing(DWORD processId, DWORD threadId);
    void wakePeer(DWORD processId, DWORD threadId);
    int peer(DWORD processId, DWORD threadId);  // connected socket, or -1
    void forgetPeer(DWORD processId, DWORD threadId);
    enum class Attempt { sent, full, gone };
    Attempt trySend(DWORD processId, DWORD threadId, const void* frame, std::size_t size);
    bool waitForRoom(DWORD processId, DWORD threadId);  // false: the peer's process ended; true otherwise

    const int socket_;
    const std::string path_;
    const std::unique_ptr<PostRing> ring_;
    std::mutex peersMutex_;
    std::map<std::pair<DWORD, DWORD>, int> peers_;
    std::map<std::pair<DWORD, DWORD>, std::unique_ptr<PostRing>> peerRings_;
};

template <typename Drain>
bool Endpoint::deliver(DWORD processId, DWORD threadId, const void* frame, std::size_t size, Drain drainOwn) {
    for (;;) {
        switch (trySend(processId, threadId, frame, size)) {
        case Attempt::sent: return true;
        case Attempt::gone: return false;
        case Attempt::full:
            if (!waitForRoom(processId, threadId)) return false;
            drainOwn();
            break;
        }
    }
}

template <typename Drain>
bool Endpoint::post(DWORD processId, DWORD threadId, const void* frame, std::size_t size, Drain drainOwn) {
    for (;;) {
        PostRing* ring = peerRing(processId, threadId);
        if (ring == nullptr) return false;
        bool wake = false;
        switch (ring->put(frame, size, wake)) {
        case PostRing::Put::done:
            if (wake) wakePeer(processId, threadId);
            return true;
        case PostRing::Put::closed: forgetPeer(processId, threadId); return false;
        case PostRing::Put::full:
            if (!waitForRoom(processId, threadId)) return false;
            drainOwn();
            break;
        }
    }
}

}  // namespace qxposix
