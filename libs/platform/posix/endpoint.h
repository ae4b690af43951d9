// A thread's endpoint for messages from other processes: its frame ring, a
// file named after the process and thread in the session's endpoint
// directory, and the rings of the peer threads it sends to, mapped once.
#pragma once

#include <windows.h>

#include "frame_ring.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

namespace qxposix {

// What travels between endpoints, through the receiving thread's ring: a sent
// or posted message, or the answer to a sent one. A block follows the header:
// a WM_COPYDATA block, or a block that lParam points to and that the receiver
// may rewrite (sendWithBlock), which the answer then carries back.
struct Frame {
    enum Kind : std::uint32_t { send = 1, post = 2, reply = 3 };
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

    // Makes the ring at path; null on failure.
    static std::unique_ptr<Endpoint> open(const std::string& path);
    Endpoint(const Endpoint&) = delete;
    Endpoint& operator=(const Endpoint&) = delete;

    FrameRing& ring() const { return *ring_; }
    // The next frame that arrived into buffer; corrupt when the ring's
    // indexes cannot be right (its frames are then to be dropped).
    enum class Take { frame, none, corrupt };
    Take take(FrameBuffer& buffer) const;

    // Puts a frame (the header, then frame.copyLength bytes of block) into
    // the ring of the peer's thread, and wakes that thread if it sleeps. Only
    // a reply may take the ring's last room; a post is refused past the quota.
    enum class Put { done, full, gone };  // gone: the peer's thread ended
    Put put(DWORD processId, DWORD threadId, const Frame& frame, const void* block);
    // The peer's process ended: its ring is let go.
    void forgetPeer(DWORD processId, DWORD threadId);
    // The thread ends: refuses new frames, removes the ring's file, lets the
    // peers' rings go. The ring stays mapped while the endpoint lives.
    void close();

private:
    explicit Endpoint(std::unique_ptr<FrameRing> ring) : ring_(std::move(ring)) {}
    FrameRing* peerRing(DWORD processId, DWORD threadId);

    const std::unique_ptr<FrameRing> ring_;
    std::mutex peersMutex_;
    std::map<std::pair<DWORD, DWORD>, std::unique_ptr<FrameRing>> peerRings_;
};

}  // namespace qxposix
