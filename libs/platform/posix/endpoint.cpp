#include "endpoint.h"

#include "session.h"

namespace qxposix {

std::unique_ptr<Endpoint> Endpoint::open(const std::string& path) {
    auto ring = FrameRing::create(path);
    return ring ? std::unique_ptr<Endpoint>(new Endpoint(std::move(ring))) : nullptr;
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

FrameRing* Endpoint::peerRing(DWORD processId, DWORD threadId) {
    std::lock_guard<std::mutex> lock(peersMutex_);
    auto& ring = peerRings_[std::make_pair(processId, threadId)];
    if (!ring) {
        if (Session* session = Session::instance()) ring = FrameRing::attach(session->endpointPath(processId, threadId));
    }
    return ring.get();
}

Endpoint::Put Endpoint::put(DWORD processId, DWORD threadId, const Frame& frame, const void* block) {
    FrameRing* ring = peerRing(processId, threadId);
    if (ring == nullptr) {
        forgetPeer(processId, threadId);
        return Put::gone;
    }
    switch (ring->put(&frame, sizeof frame, block, frame.copyLength)) {
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
