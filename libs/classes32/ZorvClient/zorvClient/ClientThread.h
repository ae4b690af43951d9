// ClientThread: a ZorvClient on a thread of its own that pumps its messages,
// for programs that are not message loops themselves (a web server, a
// language binding, a tool that waits on something else).
//
//   ClientThread thread([](ZorvClient& client) {       // runs on the client's thread
//       client.RouterRevertiveEvent += [](uint d, uint dest, int src) { ... };
//   });
//   thread.post([](ZorvClient& client) { client.connect(IpcType::wm); });    // returns at once
//   bool up = thread.call([](ZorvClient& client) { return client.isConnected(); });  // waits
//   thread.every(250, [](ZorvClient& client) { ... });  // a timer on the client's thread
//   thread.stop();                                       // or let the object go
//
// The client is created, used and disposed on the thread: its events run
// there, and so does every piece of work handed over. Work runs in the order
// it was posted, between the messages the thread dispatches. call() waits for
// the result and rethrows what the work threw; called from the client's own
// thread (inside an event or a piece of work) it runs the work at once. An
// exception that leaves posted work or a timer is traced with one line
// through OutputDebugStringA and goes no further.
//
// stop() runs the work already posted, disposes the client (a connected
// client disconnects) and joins the thread; later post() calls are refused
// (false) and later call() calls throw std::logic_error. stop() from the
// client's own thread is refused with std::logic_error.
#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <type_traits>
#include <vector>

#include "ZorvClient.h"

namespace ZorvClientLibrary {

/// A ZorvClient on a thread of its own that pumps its messages; work reaches
/// it through a queue (see the head of ClientThread.h).
class ClientThread {
public:
    using Work = std::function<void(ZorvClient&)>;  ///< Work done on the client's thread.

    /// Starts the thread and creates the client on it; `setup` runs there
    /// first (subscribe the events here). Returns once setup has run; an
    /// exception from setup stops the thread and is rethrown here.
    explicit ClientThread(Work setup = {});
    /// stop() unless already stopped.
    ~ClientThread();
    ClientThread(const ClientThread&) = delete;
    ClientThread& operator=(const ClientThread&) = delete;

    /// Queues work for the client's thread; false once stopping.
    bool post(Work work);

    /// Runs work on the client's thread and returns its result.
    template <typename F>
    auto call(F&& work) -> std::invoke_result_t<F&, ZorvClient&> {
        using Result = std::invoke_result_t<F&, ZorvClient&>;
        if (onThread()) return work(*client_);
        auto task = std::make_shared<std::packaged_task<Result(ZorvClient&)>>(std::forward<F>(work));
        std::future<Result> result = task->get_future();
        if (!post([task](ZorvClient& client) { (*task)(client); })) {
            throw std::logic_error("ClientThread: the client's thread has stopped");
        }
        return result.get();
    }

    /// Runs `work` on the client's thread every `periodMs` milliseconds
    /// (at least 1), from now on, until stop().
    void every(DWORD periodMs, Work work);

    /// Runs the posted work, disposes the client and joins the thread.
    void stop();

    /// True on the client's thread.
    bool onThread() const { return std::this_thread::get_id() == id_.load(); }

private:
    struct Timer {
        DWORD periodMs;
        DWORD due;
        Work work;
    };

    void run(const Work& setup, std::promise<void>& ready);
    void loop();
    bool runQueued();        // false once asked to stop
    DWORD runTimers();       // milliseconds until the next timer is due
    void runSafely(const Work& work, const char* what);

    std::mutex lock_;
    std::deque<Work> queue_;
    std::vector<Timer> timers_;  // touched on the client's thread only
    bool stopping_ = false;
    DWORD threadId_ = 0;
    std::atomic<std::thread::id> id_{};  // set by the thread itself, before setup runs
    std::unique_ptr<ZorvClient> client_;
    std::thread thread_;
};

}  // namespace ZorvClientLibrary
