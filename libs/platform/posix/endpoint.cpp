#include "endpoint.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "session.h"

namespace qxposix {

namespace {

constexpr int kBufferBytes = 1 << 20;  // room for many frames, or a few large blocks
constexpr int kRoomPollMs = 1;         // how often a sender waiting for room checks the peer

bool address(const std::string& path, sockaddr_un& to) {
    to = sockaddr_un{};
    to.sun_family = AF_UNIX;
    if (path.size() >= sizeof to.sun_path) return false;
    std::memcpy(to.sun_path, path.c_str(), path.size() + 1);
    return true;
}

int datagramSocket() {
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd >= 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kBufferBytes, sizeof kBufferBytes);
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kBufferBytes, sizeof kBufferBytes);
    }
    return fd;
}

}  // namespace

std::unique_ptr<Endpoint> Endpoint::open(const std::string& path) {
    sockaddr_un here;
    if (!address(path, here)) return nullptr;
    const int fd = datagramSocket();
    if (fd < 0) return nullptr;
    ::unlink(path.c_str());  // left by a thread of an ended process with the same ids
    auto ring = PostRing::create(path + ".ring");
    if (!ring || ::bind(fd, reinterpret_cast<const sockaddr*>(&here), sizeof here) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<Endpoint>(new Endpoint(fd, path, std::move(ring)));
}

Endpoint::~Endpoint() {
    ::unlink(path_.c_str());
    ::close(socket_);
    for (const auto& peer : peers_) ::close(peer.second);
}

bool Endpoint::receive(FrameBuffer& buffer) const {
    for (;;) {
        const ssize_t length = ::recv(socket_, buffer.data(), FrameBuffer::kCapacity, MSG_DONTWAIT);
        if (length < 0) return false;
        if (length < static_cast<ssize_t>(sizeof(Frame))) continue;  // not ours
        buffer.setSize(static_cast<std::size_t>(length));
        return true;
    }
}

bool Endpoint::take(FrameBuffer& buffer) const {
    for (;;) {
        const std::size_t length = ring_->take(buffer.data(), FrameBuffer::kCapacity);
        if (length == 0) return false;
        if (length < sizeof(Frame)) continue;  // not ours
        buffer.setSize(length);
        return true;
    }
}

PostRing* Endpoint::peerRing(DWORD processId, DWORD threadId) {
    std::lock_guard<std::mutex> lock(peersMutex_);
    auto& ring = peerRings_[std::make_pair(processId, threadId)];
    if (!ring) {
        if (Session* session = Session::instance()) ring = PostRing::attach(session->endpointPath(processId, threadId) + ".ring");
    }
    return ring.get();
}

// Wakes the peer's thread, which sleeps with its ring empty: a frame of kind
// wake on its socket. A full socket needs no more: the thread is awake soon.
bool Endpoint::wakePeer(DWORD processId, DWORD threadId) {
    const int fd = peer(processId, threadId);
    if (fd < 0) return false;
    Frame frame{};
    frame.kind = Frame::wake;
    if (::send(fd, &frame, sizeof frame, MSG_DONTWAIT | MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof frame)) return true;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) return true;
    forgetPeer(processId, threadId);  // the peer's socket is closed: its thread or process ended
    return false;
}

int Endpoint::peer(DWORD processId, DWORD threadId) {
    std::lock_guard<std::mutex> lock(peersMutex_);
    const auto key = std::make_pair(processId, threadId);
    const auto found = peers_.find(key);
    if (found != peers_.end()) return found->second;
    Session* session = Session::instance();
    sockaddr_un there;
    if (session == nullptr || !address(session->endpointPath(processId, threadId), there)) return -1;
    const int fd = datagramSocket();
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&there), sizeof there) != 0) {
        ::close(fd);
        return -1;
    }
    peers_.emplace(key, fd);
    return fd;
}

void Endpoint::forgetPeer(DWORD processId, DWORD threadId) {
    std::lock_guard<std::mutex> lock(peersMutex_);
    const auto key = std::make_pair(processId, threadId);
    peerRings_.erase(key);
    const auto found = peers_.find(key);
    if (found == peers_.end()) return;
    ::close(found->second);
    peers_.erase(found);
}

// Waits a moment for the peer to make room in its ring, waking early when a
// frame arrives for this endpoint.
bool Endpoint::waitForRoom(DWORD processId) {
    pollfd own{socket_, POLLIN, 0};
    ::poll(&own, 1, kRoomPollMs);
    return processAlive(processId);
}

}  // namespace qxposix
