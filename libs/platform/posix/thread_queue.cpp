#include "thread_queue.h"

#include <algorithm>
#include <thread>

#include "window_table.h"

namespace qxposix {

namespace {

constexpr Clock::duration kSpinTime = std::chrono::microseconds(10);
// Waits longer than this say nothing about how to wait (the other side was
// idle or busy), so they are not measured.
constexpr Clock::duration kTellingWait = std::chrono::microseconds(500);
constexpr unsigned kExplorePeriod = 256;  // waits between tries of the other way
constexpr unsigned kExploreLength = 16;   // waits per try

inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#else
    std::this_thread::yield();
#endif
}

}  // namespace

// ------------------------------------------------------------------ SentMessage

SentMessage::SentMessage(std::shared_ptr<Window> targetWindow, UINT messageNumber, WPARAM first, LPARAM second,
                         std::shared_ptr<ThreadQueue> sender)
    : target(std::move(targetWindow)),
      message(messageNumber),
      wParam(first),
      lParam(second),
      sender_(std::move(sender)) {}

void SentMessage::complete(LRESULT result, bool handled) {
    result_ = result;
    handled_ = handled;
    done_.store(true, std::memory_order_release);
    sender_->wake();
}

void SentMessage::copyPayload(const COPYDATASTRUCT& data) {
    payloadTag_ = data.dwData;
    if (data.cbData != 0 && data.lpData != nullptr) {
        const auto* bytes = static_cast<const unsigned char*>(data.lpData);
        payload_.assign(bytes, bytes + data.cbData);
    }
}

COPYDATASTRUCT SentMessage::payload() {
    COPYDATASTRUCT data{};
    data.dwData = payloadTag_;
    data.cbData = static_cast<DWORD>(payload_.size());
    data.lpData = payload_.empty() ? nullptr : payload_.data();
    return data;
}

// ------------------------------------------------------------------ MessageFilter

bool MessageFilter::matches(const MSG& message) const {
    if (threadOnly && message.hwnd != nullptr) return false;
    if (window != nullptr && message.hwnd != window) return false;
    if (first == 0 && last == 0) return true;
    return message.message >= first && message.message <= last;
}

// ------------------------------------------------------------------ ThreadQueue

bool ThreadQueue::signalLocked() {
    signals_.fetch_add(1, std::memory_order_release);
    return waiting_;
}

bool ThreadQueue::deliverSent(const std::shared_ptr<SentMessage>& message) {
    bool notify;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_ || !message->target->alive()) return false;
        sent_.push_back(message);
        notify = signalLocked();
    }
    if (notify) wakeup_.notify_one();
    return true;
}

bool ThreadQueue::post(const MSG& message, const Window* target) {
    bool notify;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // A window is forgotten under this lock after it stopped being alive,
        // so no message for it can be left behind.
        if (closed_ || (target != nullptr && !target->alive())) return false;
        posted_.push_back(message);
        notify = signalLocked();
    }
    if (notify) wakeup_.notify_one();
    return true;
}

bool ThreadQueue::postQuit(int exitCode) {
    bool notify;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return false;
        quitPending_ = true;
        quitCode_ = exitCode;
        notify = signalLocked();
    }
    if (notify) wakeup_.notify_one();
    return true;
}

void ThreadQueue::wake() {
    bool notify;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        notify = signalLocked();
    }
    if (notify) wakeup_.notify_one();
}

std::shared_ptr<SentMessage> ThreadQueue::takeSent() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (sent_.empty()) return nullptr;
    auto message = std::move(sent_.front());
    sent_.pop_front();
    return message;
}

bool ThreadQueue::takePosted(MSG& message, const MessageFilter& filter, bool remove) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = std::find_if(posted_.begin(), posted_.end(), [&](const MSG& m) { return filter.matches(m); });
    if (found != posted_.end()) {
        message = *found;
        if (remove) posted_.erase(found);
        return true;
    }
    if (!quitPending_) return false;
    message = MSG{};
    message.message = WM_QUIT;
    message.wParam = static_cast<WPARAM>(quitCode_);
    message.time = GetTickCount();
    if (remove) quitPending_ = false;
    return true;
}

bool ThreadQueue::hasInput(UINT wakeMask) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if ((wakeMask & QS_SENDMESSAGE) && !sent_.empty()) return true;
    if ((wakeMask & (QS_POSTMESSAGE | QS_ALLPOSTMESSAGE)) && (!posted_.empty() || quitPending_)) return true;
    return false;
}

void ThreadQueue::forgetWindow(const Window& window) {
    std::vector<std::shared_ptr<SentMessage>> orphans;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const HWND handle = window.handle();
        posted_.erase(std::remove_if(posted_.begin(), posted_.end(), [&](const MSG& m) { return m.hwnd == handle; }),
                      posted_.end());
        const auto orphaned = [&](const auto& sent) { return sent->target.get() == &window; };
        std::copy_if(sent_.begin(), sent_.end(), std::back_inserter(orphans), orphaned);
        sent_.erase(std::remove_if(sent_.begin(), sent_.end(), orphaned), sent_.end());
    }
    for (const auto& sent : orphans) sent->complete(0, false);
}

void ThreadQueue::close() {
    std::deque<std::shared_ptr<SentMessage>> orphans;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        orphans.swap(sent_);
        posted_.clear();
        quitPending_ = false;
    }
    for (const auto& sent : orphans) sent->complete(0, false);
}

bool ThreadQueue::spinFor(std::uint64_t seen, Clock::time_point until) const {
    for (unsigned round = 0;; ++round) {
        if (signals_.load(std::memory_order_acquire) != seen) return true;
        if ((round & 15) == 0 && Clock::now() >= until) return false;
        cpuRelax();
    }
}

bool ThreadQueue::blockFor(std::uint64_t seen, const Deadline& deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    waiting_ = true;
    bool signalled = true;
    while (signals_.load(std::memory_order_acquire) == seen) {
        if (!deadline) {
            wakeup_.wait(lock);
        } else if (wakeup_.wait_until(lock, *deadline) == std::cv_status::timeout) {
            signalled = signals_.load(std::memory_order_acquire) != seen;
            break;
        }
    }
    waiting_ = false;
    return signalled;
}

bool ThreadQueue::waitForSignal(std::uint64_t seen, const Deadline& deadline) {
    const auto start = Clock::now();
    auto spinUntil = start + spinPolicy_.nextSpin();
    if (deadline && *deadline < spinUntil) spinUntil = *deadline;
    const bool signalled = spinFor(seen, spinUntil) || blockFor(seen, deadline);
    if (signalled) spinPolicy_.record(Clock::now() - start);
    return signalled;
}

// ------------------------------------------------------------------ SpinPolicy

Clock::duration SpinPolicy::nextSpin() {
    ++waits_;
    const bool exploring = waits_ % kExplorePeriod < kExploreLength;
    current_ = exploring ? !preferSpin_ : preferSpin_;
    return current_ ? kSpinTime : Clock::duration::zero();
}

void SpinPolicy::record(Clock::duration waited) {
    if (waited > kTellingWait) return;
    double& average = current_ ? spinAverage_ : blockAverage_;
    average += (std::chrono::duration<double, std::micro>(waited).count() - average) / 16;
    preferSpin_ = spinAverage_ <= blockAverage_;
}

}  // namespace qxposix
