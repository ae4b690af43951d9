// Helpers for the window and message tests: windows whose behaviour is a
// function given at creation, and threads that own windows and pump.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <thread>

#include "qxplatform.h"

namespace msgtest {

// Answers a message, or leaves it (nullopt) to DefWindowProcA.
using Handler = std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)>;

constexpr DWORD kPatience = 10000;  // bound of every wait, in milliseconds

inline LRESULT CALLBACK routingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    const auto* handler = reinterpret_cast<const Handler*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (handler != nullptr && *handler) {
        if (const auto answer = (*handler)(window, message, wParam, lParam)) return *answer;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A window class whose windows run the Handler given as creation parameter
// (it must outlive the window). Unregistered at the end: that fails, and the
// test with it, when a window of the class was left behind.
class RoutingClass {
public:
    explicit RoutingClass(const char* name, int windowExtraBytes = 0) : name_(name) {
        WNDCLASSA description{};
        description.lpfnWndProc = routingProc;
        description.cbWndExtra = windowExtraBytes;
        description.hInstance = GetModuleHandleA(nullptr);
        description.lpszClassName = name;
        atom_ = RegisterClassA(&description);
        EXPECT_NE(atom_, 0) << "RegisterClassA " << name << " error " << GetLastError();
    }
    ~RoutingClass() {
        if (atom_ != 0) {
            EXPECT_TRUE(UnregisterClassA(name_, GetModuleHandleA(nullptr))) << "a window of " << name_ << " is left";
        }
    }
    RoutingClass(const RoutingClass&) = delete;
    RoutingClass& operator=(const RoutingClass&) = delete;

    const char* name() const { return name_; }

    HWND create(const Handler* handler, HWND parent = HWND_MESSAGE, const char* title = "") const {
        return CreateWindowExA(0, name_, title, 0, 0, 0, 0, 0, parent, nullptr, GetModuleHandleA(nullptr),
                               const_cast<Handler*>(handler));
    }

private:
    const char* name_;
    ATOM atom_ = 0;
};

// A thread that runs setup (typically creating its windows), then a message
// loop until WM_QUIT; its windows go when it ends.
class PumpingThread {
public:
    explicit PumpingThread(std::function<void()> setup) {
        std::promise<DWORD> started;
        auto id = started.get_future();
        thread_ = std::thread([setup = std::move(setup), &started] {
            setup();
            MSG message;
            PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // makes sure the thread has a queue
            started.set_value(GetCurrentThreadId());
            while (GetMessageA(&message, nullptr, 0, 0) > 0) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        });
        threadId_ = id.get();
    }
    ~PumpingThread() { stop(); }
    PumpingThread(const PumpingThread&) = delete;
    PumpingThread& operator=(const PumpingThread&) = delete;

    DWORD threadId() const { return threadId_; }

    void stop() {
        if (!thread_.joinable()) return;
        PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }

private:
    std::thread thread_;
    DWORD threadId_ = 0;
};

// A flag that any thread raises and the thread that made it awaits while
// dispatching its messages (raising wakes that thread's message loop).
class Signal {
public:
    Signal() : waiter_(GetCurrentThreadId()) {
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // the waiter needs a queue to be woken
    }
    void raise() {
        raised_ = true;
        PostThreadMessageA(waiter_, WM_NULL, 0, 0);
    }
    bool raised() const { return raised_; }
    bool await() const { return qxplatform::pumpUntil([this] { return raised_.load(); }, kPatience); }

private:
    const DWORD waiter_;
    std::atomic<bool> raised_{false};
};

// Blocks (without dispatching messages) until the future is ready.
template <typename T>
bool ready(const std::future<T>& future) {
    return future.wait_for(std::chrono::milliseconds(kPatience)) == std::future_status::ready;
}

}  // namespace msgtest
