#include "thread_queue.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

#include "session.h"
#include "window_table.h"

namespace qxposix {

namespace {

constexpr Clock::duration kSpinTime = std::chrono::microseconds(10);
// How long a look at the machine's runnable threads holds.
constexpr Clock::duration kLoadPeriod = std::chrono::milliseconds(2);
constexpr std::uint32_t kTakenBatch = 64;  // posts taken before the count is lowered

inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#else
    std::this_thread::yield();
#endif
}

// Whether a waiting thread spins for a few microseconds before it blocks.
// Spinning makes a hand-over between threads on two idle cores far cheaper
// (no sleep and wake-up on either side), but costs dearly when threads wait
// for a core: the spinning thread then keeps one of them from running. So a
// wait spins only while every thread of the machine that can run is running:
// none waits for a core (the kernel's count of runnable threads, in
// /proc/loadavg, is at most the number of cores). Looked at once per kLoadPeriod in the process;
// true when the count cannot be read. The decision rests on nothing that a
// thread or the loop around its wait does, so every kind of wait spins alike,
// and two threads handing messages to each other spin together (a thread
// that spun alone would wait for its partner's wake-up all the same).
bool coresToSpare(Clock::time_point now) {
    static std::atomic<Clock::rep> lookedAt{0};
    static std::atomic<bool> spare{true};
    const Clock::rep at = now.time_since_epoch().count();
    Clock::rep last = lookedAt.load(std::memory_order_relaxed);
    if (at - last < kLoadPeriod.count() || !lookedAt.compare_exchange_strong(last, at, std::memory_order_relaxed))
        return spare.load(std::memory_order_relaxed);
    char text[128] = {};
    const int file = ::open("/proc/loadavg", O_RDONLY | O_CLOEXEC);
    if (file < 0) return true;
    const ssize_t length = ::read(file, text, sizeof text - 1);
    ::close(file);
    // "0.52 0.58 0.59 3/245 12345": the fourth field counts the runnable threads.
    unsigned runnable = 0;
    if (length <= 0 || std::sscanf(text, "%*s %*s %*s %u/", &runnable) != 1) return true;
    static const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const bool fits = runnable <= cores;
    spare.store(fits, std::memory_order_relaxed);
    return fits;
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
    if (sender_) {
        sender_->wake();
    } else if (origin_.receiver != nullptr) {
        origin_.receiver->reply(origin_, result, handled, origin_.returnsBlock ? &payload_ : nullptr);
    }
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

ThreadQueue::~ThreadQueue() = default;

bool ThreadQueue::deliverSent(const std::shared_ptr<SentMessage>& message) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_ || !message->target->alive()) return false;
        sent_.push_back(message);
        signal();
    }
    notifyWaiter();
    return true;
}

ThreadQueue::Posted ThreadQueue::post(const MSG& message, const Window* target) {
    return queuePost(message, target, false);
}

ThreadQueue::Posted ThreadQueue::queuePost(const MSG& message, const Window* target, bool counted) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // A window is forgotten under this lock after it stopped being alive,
        // so no message for it can be left behind.
        if (closed_ || (target != nullptr && !target->alive())) {
            if (counted) posts_->release();
            return Posted::gone;
        }
        if (!counted && !posts_->reserve()) return Posted::full;
        posted_.push_back(message);
        signal();
    }
    notifyWaiter();
    return Posted::done;
}

bool ThreadQueue::postQuit(int exitCode) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return false;
        quitPending_ = true;
        quitCode_ = exitCode;
        signal();
    }
    notifyWaiter();
    return true;
}

void ThreadQueue::wake() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        signal();
    }
    notifyWaiter();
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
        if (remove) {
            posted_.erase(found);
            if (++takenPosts_ == kTakenBatch || posted_.empty()) {
                posts_->release(takenPosts_);
                takenPosts_ = 0;
            }
        }
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
        const auto kept = std::remove_if(posted_.begin(), posted_.end(), [&](const MSG& m) { return m.hwnd == handle; });
        posts_->release(static_cast<std::uint32_t>(posted_.end() - kept));
        posted_.erase(kept, posted_.end());
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
        posts_->release(static_cast<std::uint32_t>(posted_.size()) + takenPosts_);
        takenPosts_ = 0;
        posted_.clear();
        quitPending_ = false;
    }
    for (const auto& sent : orphans) sent->complete(0, false);
    if (!endpoint_) return;
    endpoint_->ring().close();  // refuses new frames
    drainRemote();              // answers the sends from other processes with 0
    endpoint_->close();
}

bool ThreadQueue::spinFor(std::uint64_t seen, Clock::time_point until) const {
    for (unsigned round = 0;; ++round) {
        if (signals_.load(std::memory_order_acquire) != seen) return true;
        if ((round & 3) == 0 && remoteWaiting()) return true;
        if ((round & 15) == 0 && Clock::now() >= until) return false;
        cpuRelax();
    }
}

bool ThreadQueue::blockFor(std::uint64_t seen, const Deadline& deadline) {
    WakeWord& word = *wake_.load(std::memory_order_acquire);  // only this thread changes it
    for (;;) {
        const std::uint32_t value = word.prepare();
        const bool signalled = signals_.load(std::memory_order_seq_cst) != seen || remoteWaiting();
        if (signalled || (deadline && Clock::now() >= *deadline)) {
            word.done();
            return signalled;
        }
        word.sleep(value, deadline);
        word.done();
    }
}

bool ThreadQueue::waitForSignal(std::uint64_t seen, const Deadline& deadline, bool spin) {
    const auto start = Clock::now();
    if (!spin || (deadline && *deadline <= start) || !coresToSpare(start)) return blockFor(seen, deadline);
    const auto spinUntil = deadline ? std::min(*deadline, start + kSpinTime) : start + kSpinTime;
    return spinFor(seen, spinUntil) || blockFor(seen, deadline);
}

// From now on the thread sleeps on its ring's wake word. A waker that still
// holds the old word finds nobody sleeping on it, and its work is seen
// before the next sleep.
bool ThreadQueue::openEndpoint() {
    if (endpoint_) return true;
    Session* session = Session::instance();
    if (session == nullptr) return false;
    endpoint_ = Endpoint::open(session->endpointPath(GetCurrentProcessId(), threadId_));
    if (!endpoint_) return false;
    wake_.store(&endpoint_->ring().wakeWord(), std::memory_order_release);
    std::lock_guard<std::mutex> lock(mutex_);
    PostCount& shared = endpoint_->ring().posts();
    shared.value.fetch_add(ownPosts_.value.exchange(0));
    posts_ = &shared;
    return true;
}

bool ThreadQueue::drainRemote() {
    if (!endpoint_) return false;
    bool any = false;
    for (;;) {
        switch (endpoint_->take(frameBuffer_)) {
        case Endpoint::Take::none: return any;
        case Endpoint::Take::frame:
            accept(frameBuffer_);
            any = true;
            break;
        case Endpoint::Take::corrupt: {  // once per drain, however often the indexes are spoilt
            std::lock_guard<std::mutex> lock(mutex_);
            endpoint_->ring().drop(static_cast<std::uint32_t>(posted_.size()));
            takenPosts_ = 0;
            return any;
        }
        }
    }
}

void ThreadQueue::accept(const FrameBuffer& bytes) {
    Frame frame;
    std::memcpy(&frame, bytes.data(), sizeof frame);
    const auto handle = reinterpret_cast<HWND>(static_cast<UINT_PTR>(frame.window));
    if (frame.kind == Frame::reply) {
        const auto found = calls_.find(frame.id);
        if (found == calls_.end()) return;  // the sender stopped waiting
        found->second->done = true;
        found->second->handled = frame.handled != 0;
        found->second->result = static_cast<LRESULT>(frame.lParam);
        if (frame.carries == Frame::block && found->second->block != nullptr)
            std::memcpy(found->second->block, bytes.data() + sizeof frame,
                        std::min<std::size_t>({frame.copyLength, found->second->blockSize, bytes.size() - sizeof frame}));
        calls_.erase(found);
        return;
    }
    if (frame.kind != Frame::send && frame.kind != Frame::post) return;  // not a kind we know
    auto window = WindowTable::instance().find(handle);
    if (window && &window->owner() != this) window.reset();
    if (frame.kind == Frame::post) {  // counted by its sender
        if (window)
            queuePost(MSG{window->handle(), frame.message, frame.wParam, frame.lParam, GetTickCount(), {}}, window.get(),
                      true);
        else
            posts_->release();
        return;
    }
    const SentMessage::Origin origin{frame.senderProcess, frame.senderThread, frame.id, this,
                                     frame.carries == Frame::block};
    // What a procedure reads as a system message's data is only ever built
    // here: a block comes with an application's message alone, and a
    // WM_COPYDATA block is handed over as a COPYDATASTRUCT into this process.
    const bool wellFormed = frame.carries == Frame::nothing ||
                            (frame.carries == Frame::copyData && frame.message == WM_COPYDATA) ||
                            (frame.carries == Frame::block && frame.message >= WM_USER);
    if (!window || !wellFormed) {
        reply(origin, 0, false);
        return;
    }
    auto sent = std::make_shared<SentMessage>(window, frame.message, frame.wParam,
                                              frame.carries != Frame::nothing ? LPARAM{1} : static_cast<LPARAM>(frame.lParam),
                                              nullptr);
    sent->setOrigin(origin);
    if (frame.carries != Frame::nothing) {
        const std::size_t length = std::min<std::size_t>(frame.copyLength, bytes.size() - sizeof frame);
        COPYDATASTRUCT data{static_cast<ULONG_PTR>(frame.copyTag), static_cast<DWORD>(length),
                            const_cast<unsigned char*>(bytes.data() + sizeof frame)};
        sent->copyPayload(data);
    }
    if (!deliverSent(sent)) reply(origin, 0, false);
}

namespace {

// The header of a frame, and the block that follows it (null when none).
Frame makeHeader(Frame::Kind kind, const SessionWindow& window, UINT message, WPARAM wParam, LPARAM lParam,
                 std::uint64_t id, DWORD threadId, const RemoteCall* call, const void*& block) {
    Frame frame{};
    frame.kind = kind;
    frame.window = static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(window.handle));
    frame.message = message;
    frame.senderProcess = GetCurrentProcessId();
    frame.senderThread = threadId;
    frame.id = id;
    frame.wParam = wParam;
    frame.lParam = lParam;
    block = nullptr;
    if (call != nullptr && call->block != nullptr) {
        frame.carries = Frame::block;
        frame.copyLength = static_cast<std::uint32_t>(call->blockSize);
        frame.lParam = 0;
        block = call->block;
    } else if (message == WM_COPYDATA && lParam != 0) {
        const auto& data = *reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        frame.carries = Frame::copyData;
        frame.copyTag = data.dwData;
        frame.copyLength = data.lpData != nullptr ? data.cbData : 0;
        frame.lParam = 0;
        block = data.lpData;
    }
    return frame;
}

}  // namespace

bool ThreadQueue::sendRemote(const SessionWindow& window, UINT message, WPARAM wParam, LPARAM lParam,
                             RemoteCall& call) {
    if (call.blockSize > Endpoint::kMaxCopyData || (message == WM_COPYDATA && lParam != 0 &&
        reinterpret_cast<const COPYDATASTRUCT*>(lParam)->cbData > Endpoint::kMaxCopyData)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    if (!openEndpoint()) return false;
    call.id = nextCallId_++;
    call.frame = makeHeader(Frame::send, window, message, wParam, lParam, call.id, threadId_, &call, call.frameBlock);
    call.processId = window.processId;
    call.threadId = window.threadId;
    calls_[call.id] = &call;
    if (handOver(call)) return true;
    calls_.erase(call.id);
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
}

bool ThreadQueue::handOver(RemoteCall& call) {
    if (call.queued) return true;
    switch (endpoint_->put(call.processId, call.threadId, call.frame, call.frameBlock)) {
    case Endpoint::Put::done: call.queued = true; return true;
    case Endpoint::Put::full: return true;
    case Endpoint::Put::gone: return false;
    }
    return false;
}

bool ThreadQueue::postRemote(const SessionWindow& window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!openEndpoint()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    const void* block;
    const Frame frame = makeHeader(Frame::post, window, message, wParam, lParam, 0, threadId_, nullptr, block);
    switch (endpoint_->put(window.processId, window.threadId, frame, block)) {
    case Endpoint::Put::done: return true;
    case Endpoint::Put::full: SetLastError(ERROR_NOT_ENOUGH_QUOTA); return false;  // never waits, as on Windows
    case Endpoint::Put::gone: break;
    }
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
}

void ThreadQueue::reply(const SentMessage::Origin& origin, LRESULT result, bool handled,
                        const std::vector<unsigned char>* block) {
    Frame frame{};
    frame.kind = Frame::reply;
    frame.id = origin.id;
    frame.handled = handled ? 1 : 0;
    frame.lParam = result;
    if (block != nullptr) {
        frame.carries = Frame::block;
        frame.copyLength = static_cast<std::uint32_t>(block->size());
    }
    if (endpoint_) endpoint_->put(origin.processId, origin.threadId, frame, block != nullptr ? block->data() : nullptr);
}

}  // namespace qxposix
