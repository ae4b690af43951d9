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

// What travels between endpoints, through the receiving thread's ring: a sent
// or posted message, or the answer to a sent one. On the socket only wake-ups
// travel. A block follows the header: a WM_COPYDATA block, or a block
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

    // Puts a frame (the header, then frame.copyLength bytes of block) into
    // the ring of the peer's thread, and wakes that thread if it sleeps.
    // While the ring is full it waits for room, running drainOwn now and then
    // (so that two threads full of each other's frames never wait for ever).
    // False when the peer's thread or process is gone.
    template <typename Drain>
    bool put(DWORD processId, DWORD threadId, const Frame& frame, const void* block, Drain drainOwn);

private:
    Endpoint(int socket, std::string path, std::unique_ptr<PostRing> ring)
        : socket_(socket), path_(std::move(path)), ring_(std::move(ring)) {}
    PostRing* peerRing(DWORD processId, DWORD threadId);
    int peer(DWORD processId, DWORD threadId);  // connected socket, or -1
    void forgetPeer(DWORD processId, DWORD threadId);
    bool wakePeer(DWORD processId, DWORD threadId);  // false: its socket is gone
    bool waitForRoom(DWORD processId);  // false: the peer's process ended

    const int socket_;
    const std::string path_;
    const std::unique_ptr<PostRing> ring_;
    std::mutex peersMutex_;
    std::map<std::pair<DWORD, DWORD>, int> peers_;
    std::map<std::pair<DWORD, DWORD>, std::unique_ptr<PostRing>> peerRings_;
};

template <typename Drain>
bool Endpoint::put(DWORD processId, DWORD threadId, const Frame& frame, const void* block, Drain drainOwn) {
    for (;;) {
        PostRing* ring = peerRing(processId, threadId);
        if (ring == nullptr) return false;
        bool wake = false;
        switch (ring->put(&frame, sizeof frame, block, frame.copyLength, wake)) {
        case PostRing::Put::done: return !wake || wakePeer(processId, threadId);
        case PostRing::Put::closed: forgetPeer(processId, threadId); return false;
        case PostRing::Put::full:
            if (!waitForRoom(processId)) {
                forgetPeer(processId, threadId);
                return false;
            }
            drainOwn();
            break;
        }
    }
}

}  // namespace qxposix
