// What the hub's window received, in arrival order, for tests: plain
// messages, requests (from copy-data envelopes and interface-library frames)
// and, for each client that left, whether a WM_CLOSE was already queued.
// Written on the hub's thread, read from any thread.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "ClientRegistry.h"

namespace orq {

struct HubEvent {
    enum class Kind { message, request };

    Kind kind = Kind::message;
    UINT id = 0;        // message number, or the request's code
    WPARAM wParam = 0;  // message wParam, or the request's parameter
    LPARAM lParam = 0;  // message lParam; 0 for requests
    // Requests only: the block exactly as received (all cbData bytes of an
    // envelope, the frame's size for the interface library), the transport,
    // and the requester (null through the interface library, which names none).
    std::vector<unsigned char> block;
    Transport transport = Transport::wm;
    HWND requester = nullptr;

    bool isMessage(UINT message) const { return kind == Kind::message && id == message; }
    bool isRequest(UINT code) const { return kind == Kind::request && id == code; }
    // The block up to its first zero byte.
    std::string text() const;
};

struct LeaveEvent {
    UINT message = 0;  // 2034 (lParam 2) or 49223
    HWND client = nullptr;
    bool closeQueued = false;  // a WM_CLOSE was waiting in the hub's queue
};

class HubRecorder {
public:
    void message(UINT message, WPARAM wParam, LPARAM lParam);
    void request(UINT code, WPARAM parameter, const void* block, std::size_t size, Transport transport,
                 HWND requester);
    void leave(UINT message, HWND client, bool closeQueued);
    void clear();
    // Off: nothing is kept, waitFor still wakes.
    void keep(bool on) { keeping_ = on; }

    std::vector<HubEvent> events() const;
    std::vector<HubEvent> messages(UINT message) const;
    std::vector<HubEvent> requests(UINT code) const;
    std::vector<LeaveEvent> leaves() const;

    // Pumps the calling thread's messages until done() holds or timeoutMs
    // passes, waking whenever the hub records something or changes state.
    bool waitFor(const std::function<bool()>& done, DWORD timeoutMs);
    // Wakes the threads inside waitFor.
    void notify();

private:
    mutable std::mutex mutex_;
    std::vector<HubEvent> events_;
    std::vector<LeaveEvent> leaves_;
    std::multiset<DWORD> waiters_;  // thread ids inside waitFor
    bool keeping_ = true;
};

}  // namespace orq
