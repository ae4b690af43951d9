#include "ClientThread.h"

#include <string>

namespace ZorvClientLibrary {

namespace {

// The thread message that wakes the loop when work is posted.
constexpr UINT wakeMessage = WM_APP + 0x3C1;

// Milliseconds from now until `due` (0 when it has passed); GetTickCount wraps.
DWORD until(DWORD due, DWORD now) {
    const auto left = static_cast<std::int32_t>(due - now);
    return left > 0 ? static_cast<DWORD>(left) : 0;
}

}  // namespace

ClientThread::ClientThread(Work setup) {
    std::promise<void> ready;
    std::future<void> started = ready.get_future();
    thread_ = std::thread([this, &setup, &ready] { run(setup, ready); });
    try {
        started.get();
    } catch (...) {
        thread_.join();
        throw;
    }
}

ClientThread::~ClientThread() { stop(); }

void ClientThread::run(const Work& setup, std::promise<void>& ready) {
    id_ = std::this_thread::get_id();
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from here on
    try {
        client_ = std::make_unique<ZorvClient>();
        if (setup) setup(*client_);
    } catch (...) {
        client_.reset();
        id_ = std::thread::id();
        {
            std::lock_guard<std::mutex> guard(lock_);
            stopping_ = true;
        }
        ready.set_exception(std::current_exception());
        return;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        threadId_ = GetCurrentThreadId();
    }
    ready.set_value();
    loop();
    client_->Dispose();
    client_.reset();
    id_ = std::thread::id();  // a later thread may get the same id
}

void ClientThread::loop() {
    for (;;) {
        if (!runQueued()) return;
        const DWORD wait = runTimers();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            // The wake only ends the wait; a quit message posted by a handler
            // is not the owner's stop() and is ignored.
            if (message.hwnd == nullptr && (message.message == wakeMessage || message.message == WM_QUIT)) continue;
            DispatchMessageA(&message);
        }
    }
}

bool ClientThread::post(Work work) {
    DWORD thread;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_) return false;
        queue_.push_back(std::move(work));
        thread = threadId_;
    }
    PostThreadMessageA(thread, wakeMessage, 0, 0);
    return true;
}

bool ClientThread::runQueued() {
    for (;;) {
        Work work;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (queue_.empty()) return !stopping_;
            work = std::move(queue_.front());
            queue_.pop_front();
        }
        runSafely(work, "work");
    }
}

DWORD ClientThread::runTimers() {
    DWORD wait = INFINITE;
    for (std::size_t i = 0; i < timers_.size(); ++i) {  // a timer's work may add timers
        DWORD now = GetTickCount();
        if (until(timers_[i].due, now) == 0) {
            Work work = timers_[i].work;  // a copy: the vector may grow meanwhile
            runSafely(work, "timer");
            now = GetTickCount();
            timers_[i].due = now + timers_[i].periodMs;
        }
        const DWORD left = until(timers_[i].due, now);
        if (left < wait) wait = left;
    }
    return wait;
}

void ClientThread::every(DWORD periodMs, Work work) {
    const DWORD period = periodMs == 0 ? 1 : periodMs;
    auto add = [this, period, work = std::move(work)](ZorvClient&) {
        timers_.push_back({period, GetTickCount() + period, work});
    };
    if (onThread()) {
        add(*client_);
    } else if (!post(std::move(add))) {
        throw std::logic_error("ClientThread: the client's thread has stopped");
    }
}

void ClientThread::stop() {
    if (!thread_.joinable()) return;
    if (onThread()) throw std::logic_error("ClientThread: stop() from the client's own thread");
    DWORD thread;
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        thread = threadId_;
    }
    PostThreadMessageA(thread, wakeMessage, 0, 0);
    thread_.join();
}

void ClientThread::runSafely(const Work& work, const char* what) {
    try {
        work(*client_);
    } catch (const std::exception& error) {
        OutputDebugStringA(("ClientThread: " + std::string(what) + " threw: " + error.what() + "\n").c_str());
    } catch (...) {
        OutputDebugStringA(("ClientThread: " + std::string(what) + " threw\n").c_str());
    }
}

}  // namespace ZorvClientLibrary
