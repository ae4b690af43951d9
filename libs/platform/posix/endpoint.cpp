#include "endpoint.h"

#include "session.h"

namespace qxposix {

std::unique_ptr<Endpoint> Endpoint::open(const std::string& path) {
    auto ring = FrameRing::create(path);
    return ring ? std::unique_ptr<Endpoint>(new Endpoint(std::move(ring))) : nullptr;
}

Endpoint::Take Endpoint::take(FrameBuffer& buffer) const {
    for (;;) {
        const std::size_t length = ring_->take(buffer.data(), FrameBuffer::kCapacity);
        if (length == 0) return Take::none;
        if (length == FrameRing::kCorrupt) return Take::corrupt;
        if (length < sizeof(Frame)) continue;  // not ours
        buffer.setSize(length);
        return Take::frame;
    }
}

// A ring is mapped at the first frame to its thread and kept. Each time a new
// one is mapped, the rings of threads that ended (or whose process died) are
// let go, so that a long-lived process that has talked to many short-lived
// ones keeps only the rings of the live ones.
FrameRing* Endpoint::peerRing(DWORD processId, DWORD threadId) {
    std::lock_guard<std::mutex> lock(peersMutex_);
    const auto key = std::make_pair(processId, threadId);
    const auto found = peerRings_.find(key);
    if (found != peerRings_.end()) return found->second.get();
    Session* session = Session::instance();
    auto ring = session != nullptr ? FrameRing::attach(session->endpointPath(processId, threadId)) : nullptr;
    if (!ring) return nullptr;
    std::erase_if(peerRings_, [](const auto& peer) { return peer.second->closed() || !processAlive(peer.first.first); });
    return peerRings_.emplace(key, std::move(ring)).first->second.get();
}

Endpoint::Put Endpoint::put(DWORD processId, DWORD threadId, const Frame& frame, const void* block) {
    FrameRing* ring = peerRing(processId, threadId);
    if (ring == nullptr) return Put::gone;
    const auto use = frame.kind == Frame::post   ? FrameRing::Use::post
                     : frame.kind == Frame::send ? FrameRing::Use::send
                                                 : FrameRing::Use::reply;
    switch (ring->put(use, &frame, sizeof frame, block, frame.copyLength)) {
    case FrameRing::Put::done: return Put::done;
    case FrameRing::Put::full: return Put::full;
    case FrameRing::Put::closed: break;
    }
    forgetPeer(processId, threadId);
    return Put::gone;
}

void Endpoint::forgetPeer(DWORD processId, DWORD threadId) {
    std::lock_guard<std::mutex> lock(peersMutex_);
    peerRings_.erase(std::make_pair(processId, threadId));
}

void Endpoint::close() {
    ring_->close();
    std::lock_guard<std::mutex> lock(peersMutex_);
    peerRings_.clear();
}

}  // namespace qxposix
