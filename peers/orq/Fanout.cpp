#include "Fanout.h"

#include <algorithm>

#include "HubRecorder.h"

namespace orq {

namespace {

constexpr char senderWindowClass[] = "orqDeliverySender";

// A sender's window takes the replies to its wm deliveries; nothing else is
// asked of it.
LRESULT CALLBACK senderProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) return 1;
    return DefWindowProcA(window, message, wParam, lParam);
}

// Message-only, so that no broadcast reaches it. The class stays registered
// for the process's life: senders come and go on many threads.
HWND createSenderWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = senderProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = senderWindowClass;
    RegisterClassA(&windowClass);  // fails harmlessly once registered
    return CreateWindowExA(0, senderWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

void pumpPending() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

}  // namespace

void FanoutShared::missed(MissedDelivery miss) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        missed_.push_back(miss);
    }
    if (const DWORD hub = hubThread_.load()) PostThreadMessageA(hub, WM_NULL, 0, 0);
}

std::vector<MissedDelivery> FanoutShared::takeMissed() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<MissedDelivery> taken;
    taken.swap(missed_);
    return taken;
}

void FanoutShared::wakeWaiters() { recorder_.notify(); }

ClientSender::ClientSender(FanoutShared& shared) : shared_(shared) {
    thread_ = std::thread([this] { run(); });
}

ClientSender::~ClientSender() {
    stop();
    thread_.join();
}

void ClientSender::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    wake();
}

void ClientSender::add(Delivery delivery) {
    bool idle = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(delivery));
        idle = waiting_;
        waiting_ = false;
    }
    if (idle) wake();
}

void ClientSender::dropThrough(std::uint64_t heard) {
    std::lock_guard<std::mutex> lock(mutex_);
    droppedThrough_ = std::max(droppedThrough_, heard);
    queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                                [heard](const Delivery& delivery) { return delivery.heard <= heard; }),
                 queue_.end());
}

void ClientSender::retire() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        retiring_ = true;
    }
    wake();
}

void ClientSender::wake() {
    if (const DWORD thread = threadId_.load()) PostThreadMessageA(thread, WM_NULL, 0, 0);
}

void ClientSender::run() {
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue, which wake() posts to
    threadId_ = GetCurrentThreadId();
    window_ = createSenderWindow();
    std::deque<Delivery> batch;
    while (takeBatch(batch)) sendBatch(batch);
    if (window_ != nullptr) DestroyWindow(window_);
    ended_ = true;
    shared_.wakeWaiters();
}

// Waits, handling the thread's messages, until deliveries are queued; false
// when the sender is to end.
bool ClientSender::takeBatch(std::deque<Delivery>& batch) {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return false;
            if (!queue_.empty()) {
                batch.swap(queue_);
                return true;
            }
            if (retiring_) return false;
            waiting_ = true;
        }
        MSG msg;
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE))
            MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
        pumpPending();
    }
}

bool ClientSender::dropped(const Delivery& delivery) {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopping_ || (delivery.heard != 0 && delivery.heard <= droppedThrough_);
}

// The end of the run of deliveries from `first` that go to the client in
// one exchange: batchable ones to the same window made at the same stamp, so
// that a miss drops the whole run alike.
std::size_t ClientSender::runEnd(const std::deque<Delivery>& batch, std::size_t first) {
    constexpr std::size_t longestRun = 256;
    std::size_t end = first + 1;
    if (!batchable(batch[first])) return end;
    while (end < batch.size() && end - first < longestRun && batchable(batch[end]) &&
           batch[end].to.window == batch[first].to.window && batch[end].heard == batch[first].heard)
        ++end;
    return end;
}

// Sends deliveries [first, end); true when the client took them all.
bool ClientSender::sendRun(const std::deque<Delivery>& batch, std::size_t first, std::size_t end) {
    if (end - first == 1) return sendDelivery(window_, batch[first], shared_.timeoutMs());
    const auto begin = batch.begin() + static_cast<std::ptrdiff_t>(first);
    return sendBatched(begin, begin + static_cast<std::ptrdiff_t>(end - first), shared_.timeoutMs()) == end - first;
}

void ClientSender::sendBatch(std::deque<Delivery>& batch) {
    for (std::size_t first = 0; first < batch.size() && !shared_.halted();) {
        const Delivery& delivery = batch[first];
        if (dropped(delivery)) {
            ++first;
            continue;
        }
        const std::size_t end = runEnd(batch, first);
        if (!sendRun(batch, first, end)) {
            // The rest of the run has the same stamp, and so is dropped with it.
            dropThrough(delivery.heard);  // a window the hub does not know (stamp 0) is never skipped
            shared_.missed({delivery.to.window, delivery.heard});
        }
        first = end;
    }
    batch.clear();
    shared_.wakeWaiters();
}

void Fanout::send(Delivery delivery) {
    std::unique_ptr<ClientSender>& sender = senders_[keyOf(delivery.to.window)];
    if (!sender) sender = std::make_unique<ClientSender>(shared_);
    sender->add(std::move(delivery));
}

void Fanout::dropThrough(HWND window, std::uint64_t heard) {
    if (auto it = senders_.find(keyOf(window)); it != senders_.end()) it->second->dropThrough(heard);
}

void Fanout::retire(HWND window) {
    auto it = senders_.find(keyOf(window));
    if (it == senders_.end()) return;
    it->second->retire();
    retired_.push_back(std::move(it->second));
    senders_.erase(it);
}

void Fanout::reap() {
    retired_.erase(std::remove_if(retired_.begin(), retired_.end(),
                                  [](const std::unique_ptr<ClientSender>& sender) { return sender->ended(); }),
                   retired_.end());
}

void Fanout::stop() {
    halt();
    // Every sender is told first, so that they all finish their sends in
    // progress together: one client deadline at most.
    for (auto& [key, sender] : senders_) sender->stop();
    for (auto& sender : retired_) sender->stop();
    senders_.clear();
    retired_.clear();
}

}  // namespace orq
