#include "HubRecorder.h"

#include <cstring>

#include "qxplatform.h"

namespace orq {

std::string HubEvent::text() const {
    const auto* bytes = reinterpret_cast<const char*>(block.data());
    const void* zero = std::memchr(bytes, 0, block.size());
    return std::string(bytes, zero ? static_cast<const char*>(zero) - bytes : block.size());
}

void HubRecorder::message(UINT message, WPARAM wParam, LPARAM lParam) {
    if (keeping_) {
        std::lock_guard<std::mutex> lock(mutex_);
        HubEvent event;
        event.id = message;
        event.wParam = wParam;
        event.lParam = lParam;
        events_.push_back(std::move(event));
    }
    notify();
}

void HubRecorder::request(UINT code, WPARAM parameter, const void* block, std::size_t size, Transport transport,
                          HWND requester) {
    if (keeping_) {
        std::lock_guard<std::mutex> lock(mutex_);
        HubEvent event;
        event.kind = HubEvent::Kind::request;
        event.id = code;
        event.wParam = parameter;
        if (block != nullptr) {
            const auto* bytes = static_cast<const unsigned char*>(block);
            event.block.assign(bytes, bytes + size);
        }
        event.transport = transport;
        event.requester = requester;
        events_.push_back(std::move(event));
    }
    notify();
}

void HubRecorder::leave(UINT message, HWND client, bool closeQueued) {
    if (keeping_) {
        std::lock_guard<std::mutex> lock(mutex_);
        leaves_.push_back({message, client, closeQueued});
    }
    notify();
}

void HubRecorder::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.clear();
    leaves_.clear();
}

std::vector<HubEvent> HubRecorder::events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

std::vector<HubEvent> HubRecorder::messages(UINT message) const {
    std::vector<HubEvent> result;
    for (auto& event : events()) {
        if (event.isMessage(message)) result.push_back(std::move(event));
    }
    return result;
}

std::vector<HubEvent> HubRecorder::requests(UINT code) const {
    std::vector<HubEvent> result;
    for (auto& event : events()) {
        if (event.isRequest(code)) result.push_back(std::move(event));
    }
    return result;
}

std::vector<LeaveEvent> HubRecorder::leaves() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return leaves_;
}

void HubRecorder::notify() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (DWORD thread : waiters_) PostThreadMessageA(thread, WM_NULL, 0, 0);
}

bool HubRecorder::waitFor(const std::function<bool()>& done, DWORD timeoutMs) {
    MSG probe;
    PeekMessageA(&probe, nullptr, 0, 0, PM_NOREMOVE);  // makes sure this thread has a queue to wake
    const DWORD self = GetCurrentThreadId();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        waiters_.insert(self);
    }
    const bool result = qxplatform::pumpUntil(done, timeoutMs);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        waiters_.erase(waiters_.find(self));
    }
    return result;
}

}  // namespace orq
