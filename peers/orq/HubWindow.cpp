#include "HubWindow.h"

#include <string>

#include "zelFrame.h"
#include "zorvwm32.h"

namespace orq {

namespace {

// Private messages of the hub's own window, in a range the protocol never uses.
constexpr UINT invokeMessage = WM_APP + 0x71;
constexpr UINT stopMessage = WM_APP + 0x72;
constexpr int messagesPerTick = 64;

HINSTANCE instance() { return GetModuleHandleA(nullptr); }

}  // namespace

HubWindow::HubWindow(const HubOptions& options, HubRecorder& recorder, HubCore& core)
    : options_(options), recorder_(recorder), core_(core) {}

HubWindow::~HubWindow() { stop(); }

bool HubWindow::start() {
    if (thread_.joinable()) return running();
    auto started = std::make_shared<std::promise<bool>>();
    auto result = started->get_future();
    thread_ = std::thread([this, started] { run(started); });
    return result.get();
}

void HubWindow::stop() {
    if (!thread_.joinable()) return;
    core_.requestStop();
    if (HWND window = window_.load()) PostMessageA(window, stopMessage, 0, 0);
    thread_.join();
}

bool HubWindow::waitForEnd(DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(endMutex_);
    return endSignal_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return ended_; });
}

bool HubWindow::invoke(const std::function<void()>& work) {
    HWND window = window_.load();
    if (window == nullptr || !running()) return false;
    if (GetCurrentThreadId() == threadId_.load()) {
        work();
        return true;
    }
    return SendMessageA(window, invokeMessage, 0, reinterpret_cast<LPARAM>(&work)) != 0;
}

void HubWindow::run(const std::shared_ptr<std::promise<bool>>& started) {
    threadId_ = GetCurrentThreadId();
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.cbWndExtra = sizeof(LONG_PTR);
    windowClass.hInstance = instance();
    windowClass.lpszClassName = options_.windowClass.c_str();
    // Another hub of this process may have registered the class already; its
    // procedure is this one.
    const bool registered = RegisterClassA(&windowClass) != 0;
    if (!registered && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        started->set_value(false);
        ended();
        return;
    }
    // A top-level window, so that broadcasts reach it.
    HWND window = CreateWindowExA(0, options_.windowClass.c_str(), "Orq", 0, 0, 0, 0, 0, nullptr, nullptr,
                                  instance(), this);
    if (window == nullptr) {
        if (registered) UnregisterClassA(options_.windowClass.c_str(), instance());
        started->set_value(false);
        ended();
        return;
    }
    core_.attach(window);
    window_ = window;
    running_ = true;
    started->set_value(true);

    loop();
    core_.detach();  // its senders end with the loop, within one client deadline

    running_ = false;
    window_ = nullptr;
    UnregisterClassA(options_.windowClass.c_str(), instance());  // fails harmlessly while other hubs use it
    ended();
}

void HubWindow::loop() {
    MSG msg;
    for (;;) {
        // A batch at most between two ticks, so that a client flooding the
        // hub with messages does not hold up the deliveries to the others.
        for (int batch = 0; batch < messagesPerTick && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++batch) {
            if (msg.message == WM_QUIT) return;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        core_.tick();
        // Messages posted while tick() waited inside a send count as seen
        // already, and would not end the wait below: look first.
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) continue;
        const DWORD wait = core_.msUntilWork();
        if (wait != 0) MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
    }
}

void HubWindow::ended() {
    {
        std::lock_guard<std::mutex> lock(endMutex_);
        ended_ = true;
    }
    endSignal_.notify_all();
    recorder_.notify();
}

LRESULT CALLBACK HubWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<HubWindow*>(GetWindowLongPtrA(window, 0));
    if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    return self->handle(window, message, wParam, lParam);
}

LRESULT HubWindow::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == invokeMessage) {
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 1;
    }
    if (message == stopMessage) {
        DestroyWindow(window);
        return 0;
    }
    if (message == federationWake) return 0;  // the loop's tick() takes what arrived
    if (!pending_.empty() && !pending_.back().delivered && pending_.back().request.code == message) {
        PendingRequest& pending = pending_.back();
        pending.delivered = true;
        Request request = pending.request;
        request.parameter = static_cast<DWORD>(wParam);
        if (pending.numeric) {
            request.number = lParam;
        } else {
            request.block = reinterpret_cast<unsigned char*>(lParam);
        }
        return core_.handleRequest(request);
    }
    if (message == WM_COPYDATA) return copyData(window, wParam, lParam);
    if (message == zorvwm32::zelMessage) return interfaceFrame(window, wParam, lParam);

    received(message);
    recorder_.message(message, wParam, lParam);
    core_.spy().message(message, wParam, lParam);
    if (core_.spy().handle(message, wParam)) return 1;
    switch (message) {
    case WM_CLOSE:
        closed_ = true;
        DestroyWindow(window);
        return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: break;
    }
    LRESULT result = 0;
    if (core_.handleMessage(message, wParam, lParam, result)) return result;
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT HubWindow::copyData(HWND window, WPARAM wParam, LPARAM lParam) {
    const auto* envelope = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (envelope == nullptr) return 0;
    const UINT code = static_cast<UINT>((envelope->dwData >> 16) & 0xFFFF);
    if (code == zorvwm32::replyCode) return 1;  // a client answering one of the hub's deliveries
    const HWND requester = reinterpret_cast<HWND>(wParam);
    received(code);
    recorder_.request(code, envelope->dwData & 0xFFFF, envelope->lpData, envelope->lpData ? envelope->cbData : 0,
                      Transport::wm, requester);
    core_.spy().request(code, envelope->dwData & 0xFFFF, envelope->lpData, envelope->lpData ? envelope->cbData : 0,
                        requester);

    PendingRequest pending;
    pending.request.code = code;
    pending.request.capacity = zorvwm32::textBlockSize;
    pending.request.requester = requester;
    pending.request.transport = Transport::wm;
    pending.numeric = envelope->cbData == zorvwm32::numberBlockSize;
    pending_.push_back(pending);
    const bool replied = copyDataReceive(window, requester, envelope, options_.clientTimeoutMs);
    pending_.pop_back();
    if (!replied) core_.missed(requester, "its reply");
    return 1;
}

LRESULT HubWindow::interfaceFrame(HWND window, WPARAM wParam, LPARAM lParam) {
    // The frame's size is the sender's claim; the library tells the block's.
    const std::size_t length = zel::frameLength(lParam);
    if (!ZelFrame::fits(reinterpret_cast<const void*>(lParam), length)) {
        if (options_.log) options_.log("interface-library frame refused: it does not fit its " +
                                       std::to_string(length) + "-byte block");
        return 0;
    }
    const auto* frame = reinterpret_cast<ZelFrame*>(lParam);
    if (frame->magic != ZelFrame::expectedMagic) return 0;
    received(frame->code);
    recorder_.request(frame->code, static_cast<DWORD>(frame->parameter),
                      const_cast<ZelFrame*>(frame)->data(), frame->size, Transport::zel, nullptr);
    core_.spy().request(frame->code, static_cast<DWORD>(frame->parameter), const_cast<ZelFrame*>(frame)->data(),
                        frame->size, nullptr);

    PendingRequest pending;
    pending.request.code = frame->code;
    pending.request.capacity = frame->size;
    pending.request.transport = Transport::zel;
    pending.numeric = frame->kind == zorvwm32::numberKind;
    pending_.push_back(pending);
    const LRESULT result = zel::receive(window, wParam, lParam);
    pending_.pop_back();
    return result;
}

}  // namespace orq
