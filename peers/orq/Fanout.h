// The hub's deliveries, one queue per client, each served by a sender thread
// of its own: deliveries to different clients never wait on each other, a
// client that is slow or stalled holds up only its own queue, and each
// client's deliveries still arrive in the order the hub made them.
//
// The hub's thread routes deliveries here; the senders send them and report
// the clients that did not take one in time, which the hub's thread takes
// with takeMissed(). A sender owns a message-only window that its wm
// deliveries name as their sender, so that the client's reply comes back to
// the sender's own thread while it waits, and not through the hub's.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Outbox.h"

namespace orq {

class HubRecorder;

// A client that did not take a delivery within the client deadline. `heard`
// is the delivery's stamp: how often the hub had heard from the client when
// it made the delivery.
struct MissedDelivery {
    HWND window;
    std::uint64_t heard;
};

// What the hub's thread and its senders share: the deadline, whether to send
// at all, and the misses waiting for the hub's thread.
class FanoutShared {
public:
    FanoutShared(DWORD timeoutMs, HubRecorder& recorder) : timeoutMs_(timeoutMs), recorder_(recorder) {}
    DWORD timeoutMs() const { return timeoutMs_; }
    bool halted() const { return halted_.load(std::memory_order_relaxed); }
    void halt() { halted_ = true; }
    // Sender threads: a miss for the hub's thread, which is woken to take it.
    void missed(MissedDelivery miss);
    std::vector<MissedDelivery> takeMissed();
    // Wakes the threads waiting on the hub (tests' waitFor) after deliveries
    // and when a sender ends.
    void wakeWaiters();
    void attach(DWORD hubThread) { hubThread_ = hubThread; }

private:
    const DWORD timeoutMs_;
    HubRecorder& recorder_;
    std::atomic<bool> halted_{false};
    std::atomic<DWORD> hubThread_{0};
    std::mutex mutex_;
    std::vector<MissedDelivery> missed_;
};

// One client's queue and the thread that sends it.
class ClientSender {
public:
    explicit ClientSender(FanoutShared& shared);
    ~ClientSender();  // stops and joins the thread
    ClientSender(const ClientSender&) = delete;
    ClientSender& operator=(const ClientSender&) = delete;

    void add(Delivery delivery);
    // Drops the deliveries queued, and those still to come, whose stamp is
    // `heard` or older: the client was found stalled at that stamp.
    void dropThrough(std::uint64_t heard);
    // The client left: the thread sends what is queued, then ends.
    void retire();
    // The thread is to end after the send in progress (one client deadline
    // at most); what is queued is dropped.
    void stop();
    bool ended() const { return ended_.load(); }

private:
    void run();
    bool takeBatch(std::deque<Delivery>& batch);
    void sendBatch(std::deque<Delivery>& batch);
    static std::size_t runEnd(const std::deque<Delivery>& batch, std::size_t first);
    bool sendRun(const std::deque<Delivery>& batch, std::size_t first, std::size_t end);
    bool dropped(const Delivery& delivery);
    void wake();

    FanoutShared& shared_;
    HWND window_ = nullptr;  // the sender thread's own
    std::atomic<DWORD> threadId_{0};
    std::atomic<bool> ended_{false};
    std::mutex mutex_;
    std::deque<Delivery> queue_;
    std::uint64_t droppedThrough_ = 0;  // stamps start at 1: 0 drops nothing
    bool retiring_ = false;
    bool stopping_ = false;
    bool waiting_ = false;  // the thread waits for messages: a new delivery must wake it
    std::thread thread_;
};

class Fanout {
public:
    Fanout(DWORD timeoutMs, HubRecorder& recorder) : shared_(timeoutMs, recorder) {}
    ~Fanout() { stop(); }
    Fanout(const Fanout&) = delete;
    Fanout& operator=(const Fanout&) = delete;

    // The hub's thread, which the senders wake when a client missed a delivery.
    void attach(DWORD hubThread) { shared_.attach(hubThread); }
    // Queues the delivery for its client, starting the client's sender on first use.
    void send(Delivery delivery);
    void dropThrough(HWND window, std::uint64_t heard);
    // The client left: its sender ends once its queue is sent.
    void retire(HWND window);
    // Any thread: nothing more is sent from now on.
    void halt() { shared_.halt(); }
    // Halts and ends every sender, each within one client deadline.
    void stop();
    std::vector<MissedDelivery> takeMissed() { return shared_.takeMissed(); }
    // Ends the retired senders that are done.
    void reap();

private:
    static WORD keyOf(HWND window) { return static_cast<WORD>(reinterpret_cast<UINT_PTR>(window) & 0xFFFF); }

    FanoutShared shared_;
    std::map<WORD, std::unique_ptr<ClientSender>> senders_;
    std::vector<std::unique_ptr<ClientSender>> retired_;
};

}  // namespace orq
