// Two threads exchange sent, posted and WM_COPYDATA messages, then one of
// them broadcasts; every step is printed. Exits 0 when everything happened as
// it should.
#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <future>
#include <string>
#include <thread>

namespace {

constexpr UINT kHello = WM_USER + 1;   // sent: answered with wParam + 1
constexpr UINT kNotice = WM_USER + 2;  // posted
constexpr UINT kBroadcast = 0xC0DE;    // broadcast (numbers from 0xC000 are delivered)
constexpr DWORD kReplyCode = 2984;

std::atomic<int> broadcastsHandled{0};
std::atomic<int> noticesHandled{0};
bool noticesInOrder = true;
DWORD mainThreadId = 0;
std::string replyText;
int failures = 0;

// Prints one line (format as printf), at once.
void say(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::printf("\n");
    std::fflush(stdout);
}

void check(bool condition, const char* what) {
    if (!condition) {
        ++failures;
        say("  FAILED: %s", what);
    }
}

const char* currentThreadName() { return GetCurrentThreadId() == mainThreadId ? "main" : "worker"; }

std::string copyDataText(LPARAM lParam) {
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    return std::string(static_cast<const char*>(data->lpData), data->cbData);
}


// The worker's window: answers kHello, and answers a WM_COPYDATA request by
// sending a WM_COPYDATA reply to the requester window named in wParam.
LRESULT CALLBACK workerProc(HWND self, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kHello:
        say("  worker window handles hello %d on the worker thread", static_cast<int>(wParam));
        return static_cast<LRESULT>(wParam + 1);
    case WM_COPYDATA: {
        const std::string request = copyDataText(lParam);
        say("  worker window got the request '%s', sends its reply back", request.c_str());
        std::string reply = "status of " + request + ": ok";
        COPYDATASTRUCT answer{kReplyCode << 16, static_cast<DWORD>(reply.size()), reply.data()};
        SendMessageA(reinterpret_cast<HWND>(wParam), WM_COPYDATA, reinterpret_cast<WPARAM>(self),
                     reinterpret_cast<LPARAM>(&answer));
        return 1;
    }
    default: return DefWindowProcA(self, message, wParam, lParam);
    }
}

// The main thread's message window: takes posted notices and the reply.
LRESULT CALLBACK deskProc(HWND self, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kNotice:
        if (static_cast<int>(wParam) != noticesHandled + 1) noticesInOrder = false;
        ++noticesHandled;
        say("  main window handles posted notice %d", static_cast<int>(wParam));
        return 0;
    case WM_COPYDATA:
        replyText = copyDataText(lParam);
        say("  main window gets the reply '%s' while main still waits in its send", replyText.c_str());
        return 1;
    default: return DefWindowProcA(self, message, wParam, lParam);
    }
}

// Top-level windows of both threads: count the broadcast.
LRESULT CALLBACK listenerProc(HWND self, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kBroadcast) {
        ++broadcastsHandled;
        say("  top-level window on the %s thread handles the broadcast", currentThreadName());
        return 0;
    }
    return DefWindowProcA(self, message, wParam, lParam);
}

void registerClass(const char* name, WNDPROC procedure) {
    WNDCLASSA description{};
    description.lpfnWndProc = procedure;
    description.hInstance = GetModuleHandleA(nullptr);
    description.lpszClassName = name;
    RegisterClassA(&description);
}

HWND createWindow(const char* className, HWND parent) {
    return CreateWindowExA(0, className, "", 0, 0, 0, 0, 0, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
}

void pumpPending() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

}  // namespace

int main() {
    mainThreadId = GetCurrentThreadId();
    registerClass("qxDemoWorker", workerProc);
    registerClass("qxDemoDesk", deskProc);
    registerClass("qxDemoListener", listenerProc);
    HWND desk = createWindow("qxDemoDesk", HWND_MESSAGE);
    HWND mainListener = createWindow("qxDemoListener", nullptr);

    std::promise<HWND> workerWindow;
    std::promise<DWORD> workerThreadId;
    std::thread worker([&] {
        HWND own = createWindow("qxDemoWorker", HWND_MESSAGE);
        HWND listener = createWindow("qxDemoListener", nullptr);
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
        workerThreadId.set_value(GetCurrentThreadId());
        workerWindow.set_value(own);
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            if (message.message == kNotice && message.hwnd == nullptr) {  // asked to post notices to main
                for (WPARAM n = 1; n <= message.wParam; ++n) PostMessageA(desk, kNotice, n, 0);
                continue;
            }
            DispatchMessageA(&message);
        }
        DestroyWindow(listener);
        DestroyWindow(own);
    });
    HWND remote = workerWindow.get_future().get();
    const DWORD remoteThread = workerThreadId.get_future().get();

    say("1. main sends hello 20 to the worker's window");
    const LRESULT answer = SendMessageA(remote, kHello, 20, 0);
    say("   answer %d", static_cast<int>(answer));
    check(answer == 21, "the answer of a sent message");

    say("2. the worker posts three notices to main's window; main pumps");
    PostThreadMessageA(remoteThread, kNotice, 3, 0);
    for (int round = 0; round < 1000 && noticesHandled < 3; ++round) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        pumpPending();
    }
    check(noticesHandled == 3 && noticesInOrder, "three posted notices, in order");

    say("3. main sends a WM_COPYDATA request to the worker's window");
    std::string request = "router 3";
    COPYDATASTRUCT envelope{(2124u << 16) | 3u, static_cast<DWORD>(request.size()), request.data()};
    const LRESULT handled =
        SendMessageA(remote, WM_COPYDATA, reinterpret_cast<WPARAM>(desk), reinterpret_cast<LPARAM>(&envelope));
    say("   the send returns %d", static_cast<int>(handled));
    check(handled == 1 && replyText == "status of router 3: ok", "the reply arrives during the send");

    say("4. main broadcasts 0x%X to every top-level window", kBroadcast);
    SendMessageA(HWND_BROADCAST, kBroadcast, 0, 0);
    say("   the broadcast returns after %d of our top-level windows handled it", broadcastsHandled.load());
    check(broadcastsHandled == 2, "both top-level windows, not the message-only ones");

    say("5. the worker thread ends; its windows go with it");
    PostThreadMessageA(remoteThread, WM_QUIT, 0, 0);
    worker.join();
    const LRESULT late = SendMessageA(remote, kHello, 1, 0);
    say("   a send to its window now returns %d", static_cast<int>(late));
    check(late == 0 && !IsWindow(remote), "a send to a window of an ended thread");

    DestroyWindow(mainListener);
    DestroyWindow(desk);
    say(failures == 0 ? "all steps done" : "some steps FAILED");
    return failures == 0 ? 0 : 1;
}
