// A thread with a window that does not pump: whatever is sent to the window
// waits until the DeafThread is destroyed, which lets the thread handle what
// is pending and end.
#pragma once

#include <windows.h>

#include <functional>
#include <future>
#include <thread>

#include "qxplatform.h"

namespace qxtest {

class DeafThread {
public:
    // body runs on the thread: it makes its window and calls goDeaf with it;
    // goDeaf returns once this object is being destroyed.
    using Body = std::function<void(const std::function<void(HWND)>& goDeaf)>;

    explicit DeafThread(Body body) {
        thread_ = std::thread([this, body = std::move(body)] {
            body([this](HWND own) {
                ready_.set_value(own);
                release_.get_future().wait();
                qxplatform::pumpPending();
            });
        });
        window_ = ready_.get_future().get();
    }
    ~DeafThread() {
        release_.set_value();
        thread_.join();
    }
    DeafThread(const DeafThread&) = delete;
    DeafThread& operator=(const DeafThread&) = delete;

    HWND window() const { return window_; }

private:
    std::promise<HWND> ready_;
    std::promise<void> release_;
    std::thread thread_;
    HWND window_ = nullptr;
};

}  // namespace qxtest
