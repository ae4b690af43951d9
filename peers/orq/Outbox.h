// What the hub has to tell its clients, queued while it handles a message
// and handed from its loop to the clients' senders (Fanout.h), so that a
// requester never waits for the hub's traffic to other clients.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <string>

#include "ClientRegistry.h"

namespace orq {

struct Delivery {
    enum class Form {
        text,    // a text under a message code, in a copy-data block or an interface-library frame
        record,  // a binary record the same way
        plain,   // a plain window message
    };

    ClientAddress to;
    Form form = Form::text;
    UINT code = 0;
    std::string bytes;  // text (without terminator) or record
    WPARAM wParam = 0;  // plain form
    LPARAM lParam = 0;  // plain form
    std::uint64_t heard = 0;       // the client's ClientRegistry::heard() when the delivery was made
    bool madeWhileStalled = false;  // dropped even if the client talks before it is sent
};

class Outbox {
public:
    void add(Delivery delivery) { queue_.push_back(std::move(delivery)); }
    bool empty() const { return queue_.empty(); }
    Delivery take() {
        Delivery front = std::move(queue_.front());
        queue_.pop_front();
        return front;
    }

private:
    std::deque<Delivery> queue_;
};

// Sends one delivery, naming `from` as its sender. wm clients get a WM_COPYDATA
// (or the plain message) through SendMessageTimeoutA, zel clients their texts
// through the interface library's send with a deadline, so a client thread
// that does not pump costs the hub at most timeoutMs. Returns false when the
// client did not take it in time.
bool sendDelivery(HWND from, const Delivery& delivery, DWORD timeoutMs);

// Whether a delivery may go to its zel client in one exchange with others.
inline bool batchable(const Delivery& delivery) {
    return delivery.to.transport == Transport::zel && delivery.form != Delivery::Form::plain;
}

// Sends batchable deliveries [first, last), all to one client, in order and
// in as few exchanges as the interface library can, each within timeoutMs;
// returns how many the client took.
using DeliveryRun = std::deque<Delivery>::const_iterator;
std::size_t sendBatched(DeliveryRun first, DeliveryRun last, DWORD timeoutMs);

}  // namespace orq
