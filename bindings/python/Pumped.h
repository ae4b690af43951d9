// Pumped: the part of a Python object that lives on a ClientThread (a thread
// that pumps its window messages): work handed over with the GIL released and
// with the native checks' trace lines turned into Refused, and events handed
// back to Python with the GIL held.
#pragma once

#include <pybind11/pybind11.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ClientThread.h"
#include "TraceCapture.h"

namespace zorvpy {

namespace py = pybind11;
using ZorvClientLibrary::ClientThread;
using ZorvClientLibrary::ZorvClient;

/// The object was closed; raised as zorv.DisposedError.
class Disposed : public std::logic_error {
public:
    Disposed() : std::logic_error("zorv: the object is closed") {}
};

class Pumped {
public:
    /// `onEvent(code, *args)` receives every event, on the thread, GIL held;
    /// `heads` begin the trace lines of refused arguments.
    Pumped(py::object onEvent, std::vector<std::string> heads)
        : onEvent_(std::move(onEvent)), heads_(std::move(heads)) {}

    /// Starts the thread; `setup` runs there first.
    void start(ClientThread::Work setup) {
        py::gil_scoped_release release;
        thread_.emplace([setup = std::move(setup)](ZorvClient& client) {
            keepThreadState();
            if (setup) setup(client);
        });
    }

    /// Runs work on the thread, the GIL released meanwhile; a trace line of a
    /// refused argument written meanwhile raises Refused (not with `checked`
    /// false: connecting traces how the peer was found).
    template <typename F>
    auto run(F&& work, bool checked = true) {
        py::gil_scoped_release release;
        // On the thread itself (inside an event) the object lives until the
        // event returns, even when another thread is closing it meanwhile.
        if (closed_ && !thread_->onThread()) throw Disposed();
        try {
            return thread_->call([&](ZorvClient& client) {
                TraceCapture capture;
                if constexpr (std::is_void_v<decltype(work(client))>) {
                    work(client);
                    if (checked) capture.throwIfRefused(heads_);
                } else {
                    auto result = work(client);
                    if (checked) capture.throwIfRefused(heads_);
                    return result;
                }
            });
        } catch (const ZorvClientLibrary::ObjectDisposedError&) {
            throw Disposed();
        } catch (const std::logic_error& error) {
            if (closed_) throw Disposed();  // stopped while this call waited
            throw;
        }
    }

    /// Hands an event to Python (on the thread). An exception that leaves the
    /// receiver goes to sys.unraisablehook: the thread carries on.
    template <typename... Args>
    void emit(int code, const Args&... args) {
        py::gil_scoped_acquire gil;
        try {
            onEvent_(code, args...);
        } catch (py::error_already_set& error) {
            error.discard_as_unraisable("zorv event receiver");
        }
    }

    /// Runs `last` on the thread, then stops it; later calls raise Disposed.
    /// Refused from the thread itself (inside an event).
    void close(ClientThread::Work last = {}) {
        if (thread_ && thread_->onThread()) throw std::logic_error("zorv: close() inside an event of the same object");
        py::gil_scoped_release release;
        std::lock_guard<std::mutex> guard(closing_);
        if (closed_ || !thread_) return;
        thread_->post([last = std::move(last)](ZorvClient& client) {
            if (last) last(client);
            dropThreadState();
        });
        closed_ = true;
        thread_->stop();
    }
    bool closed() const { return closed_; }
    ~Pumped() { close(); }
    Pumped(const Pumped&) = delete;
    Pumped& operator=(const Pumped&) = delete;

private:
    // The thread's own Python thread state, made once: without it every
    // event would make and delete one to take the GIL.
    static inline thread_local PyThreadState* saved_ = nullptr;
    static inline thread_local PyGILState_STATE kept_{};
    static void keepThreadState() {
        kept_ = PyGILState_Ensure();
        saved_ = PyEval_SaveThread();
    }
    static void dropThreadState() {
        if (saved_ == nullptr) return;
        PyEval_RestoreThread(saved_);
        saved_ = nullptr;
        PyGILState_Release(kept_);
    }

    py::object onEvent_;
    std::vector<std::string> heads_;
    std::optional<ClientThread> thread_;
    std::mutex closing_;
    std::atomic<bool> closed_{false};
};

}  // namespace zorvpy
