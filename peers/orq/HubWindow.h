// The hub's thread, window class, top-level window and message loop. It
// unpacks copy-data envelopes and interface-library frames into requests for
// HubCore, records what arrives, and runs HubCore's timed work between
// messages.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "HubCore.h"
#include "HubOptions.h"
#include "HubRecorder.h"
#include "Request.h"

namespace orq {

class HubWindow {
public:
    HubWindow(const HubOptions& options, HubRecorder& recorder, HubCore& core);
    ~HubWindow();
    HubWindow(const HubWindow&) = delete;
    HubWindow& operator=(const HubWindow&) = delete;

    // Starts the thread and returns once the window exists (true) or could
    // not be created (false).
    bool start();
    // Destroys the window and joins the thread.
    void stop();
    // Waits until the loop has ended, for at most timeoutMs.
    bool waitForEnd(DWORD timeoutMs);

    HWND window() const { return window_.load(); }
    bool running() const { return running_.load(); }
    bool closed() const { return closed_.load(); }

    // Runs work on the hub's thread and returns when it is done; false when
    // the hub does not run.
    bool invoke(const std::function<void()>& work);

private:
    // A request being handed through copyDataReceive or the interface library,
    // which re-deliver it to the window as message `code`.
    struct PendingRequest {
        Request request;
        bool numeric = false;
        bool delivered = false;
    };

    void run(const std::shared_ptr<std::promise<bool>>& started);
    void loop();
    void ended();
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT copyData(HWND window, WPARAM wParam, LPARAM lParam);
    LRESULT interfaceFrame(HWND window, WPARAM wParam, LPARAM lParam);
    void received(UINT id) const {
        if (options_.onReceive) options_.onReceive(id);
    }

    const HubOptions& options_;
    HubRecorder& recorder_;
    HubCore& core_;

    std::thread thread_;
    std::atomic<HWND> window_{nullptr};
    std::atomic<DWORD> threadId_{0};
    std::atomic<bool> running_{false};
    std::atomic<bool> closed_{false};
    std::vector<PendingRequest> pending_;

    std::mutex endMutex_;
    std::condition_variable endSignal_;
    bool ended_ = false;
};

}  // namespace orq
