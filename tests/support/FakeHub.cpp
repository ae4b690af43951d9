#include "FakeHub.h"

#include <cstring>

#include "zelFrame.h"
#include "zorvwm32.h"

namespace qxtest {

namespace {

constexpr UINT runAction = WM_APP + 1;
constexpr UINT stopHub = WM_APP + 2;

}  // namespace

FakeHub::FakeHub(Options options) : options_(std::move(options)) {
    std::promise<HWND> ready;
    auto windowReady = ready.get_future();
    thread_ = std::thread([this, &ready] { loop(&ready); });
    window_ = windowReady.get();
}

FakeHub::~FakeHub() {
    PostMessageA(window_, stopHub, 0, 0);
    thread_.join();
}

void FakeHub::loop(std::promise<HWND>* ready) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.cbWndExtra = sizeof(LONG_PTR);
    windowClass.lpszClassName = options_.windowClass.c_str();
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, options_.windowClass.c_str(), options_.windowName.c_str(), 0, 0, 0, 0, 0, nullptr, nullptr,
                                  nullptr, this);
    ready->set_value(window);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == stopHub) break;
        DispatchMessageA(&msg);
    }
    DestroyWindow(window);
    UnregisterClassA(options_.windowClass.c_str(), nullptr);
}

LRESULT CALLBACK FakeHub::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* creation = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* hub = reinterpret_cast<FakeHub*>(GetWindowLongPtrA(window, 0));
    if (hub == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    return hub->handle(window, message, wParam, lParam);
}

LRESULT FakeHub::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COPYDATA: {
        const auto* envelope = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        const bool isRequest = ((envelope->dwData >> 16) & 0xFFFF) != zorvwm32::replyCode &&
                               envelope->cbData != zorvwm32::numberBlockSize;
        pendingRequestSize_ = isRequest ? zorvwm32::textBlockSize : 0;
        copyDataReceive(window, reinterpret_cast<HWND>(wParam), envelope);
        return 1;
    }
    case zorvwm32::zelMessage:
        pendingRequestSize_ = reinterpret_cast<const ZelFrame*>(lParam)->size;
        return zel::receive(window, wParam, lParam);
    case WM_CLOSE: {  // recorded, not obeyed: the test owns the hub's life
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back({message, wParam, lParam, false});
        return 0;
    }
    case runAction:
        (*reinterpret_cast<std::function<void()>*>(lParam))();
        return 0;
    default:
        break;
    }
    if (pendingRequestSize_ != 0) return handleRequest(message, wParam, lParam);
    if (message >= 0x0400 && message != stopHub) {
        MSG pending;
        const bool closeQueued = PeekMessageA(&pending, window, WM_CLOSE, WM_CLOSE, PM_NOREMOVE) != FALSE;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            messages_.push_back({message, wParam, lParam, closeQueued});
        }
        if (options_.onMessage) options_.onMessage(window, message, wParam, lParam);
        if ((message == 2031 || message == 49153) && options_.answerDiscovery) {
            SendMessageA(reinterpret_cast<HWND>(wParam), 2032, reinterpret_cast<WPARAM>(window), 0);
            return 0;
        }
        if (message == 49552) return options_.probeAnswer;
        auto answer = options_.answers.find(message);
        if (answer != options_.answers.end()) return answer->second;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A request re-delivered from an envelope or a frame: recorded with its exact
// bytes and answered by the test's handler.
LRESULT FakeHub::handleRequest(UINT code, WPARAM parameter, LPARAM lParam) {
    const size_t size = pendingRequestSize_;
    pendingRequestSize_ = 0;
    auto* block = reinterpret_cast<unsigned char*>(lParam);
    Request request{code, parameter, std::vector<unsigned char>(block, block + size)};
    RequestHandler handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
        handler = handler_;
    }
    return handler ? handler(request, block, size) : 0;
}

void FakeHub::onRequest(RequestHandler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    handler_ = std::move(handler);
}

std::vector<FakeHub::Message> FakeHub::messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

std::vector<FakeHub::Message> FakeHub::messagesOf(UINT message) const {
    std::vector<Message> found;
    for (const auto& m : messages()) {
        if (m.message == message) found.push_back(m);
    }
    return found;
}

std::vector<FakeHub::Request> FakeHub::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<FakeHub::Request> FakeHub::requestsOf(UINT code) const {
    std::vector<Request> found;
    for (const auto& r : requests()) {
        if (r.code == code) found.push_back(r);
    }
    return found;
}

void FakeHub::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.clear();
    requests_.clear();
}

void FakeHub::run(const std::function<void()>& action) {
    std::function<void()> copy = action;
    SendMessageA(window_, runAction, 0, reinterpret_cast<LPARAM>(&copy));
}

LONG FakeHub::sendText(HWND client, UINT code, const std::string& text) {
    LONG result = 0;
    run([&] {
        std::string block = text;
        result = copyDataSend(window_, client, code, 0, block.data(), static_cast<DWORD>(block.size() + 1), 0,
                              zorvwm32::textKind);
    });
    return result;
}

LONG FakeHub::sendTextZel(HWND client, UINT code, const std::string& text) {
    LONG result = 0;
    run([&] {
        std::string block = text;
        result = zel::send(client, code, 0, block.data(), zorvwm32::textKind, static_cast<int>(block.size() + 1));
    });
    return result;
}

}  // namespace qxtest
