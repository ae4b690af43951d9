// Binds the two entries of the interface library "zorvif32.dll": ordinal 1
// receives, ordinal 2 sends. The Linux stand-in exports them by name.
#include "zorvwm32.h"

#include <mutex>
#include <vector>

namespace {

using SendEntry = LONG (*)(HWND, UINT, LONG, void*, int, int);
using ReceiveEntry = LRESULT (*)(HWND, WPARAM, LPARAM);
using NumberQuery = BOOL (*)(HWND, UINT, LPARAM);
using TimedSendEntry = BOOL (*)(HWND, UINT, LONG, void*, int, int, UINT, LONG*);
using FrameLength = DWORD (*)(LPARAM);
using BatchSendEntry = int (*)(HWND, const zel::Outbound*, int, UINT);

struct InterfaceLibrary {
    SendEntry send = nullptr;
    ReceiveEntry receive = nullptr;
    NumberQuery deliversNumber = nullptr;  // optional: a library may not say
    TimedSendEntry sendWithin = nullptr;   // optional: the send with a deadline
    FrameLength frameLength = nullptr;     // optional: the real length of a frame's block
    BatchSendEntry sendMany = nullptr;     // optional: several one-way messages in one exchange
};

// Receive entries running on this thread.
thread_local int receivesInProgress = 0;

FARPROC entry(HMODULE library, int ordinal, const char* name) {
#ifdef _WIN32
    (void)name;
    return GetProcAddress(library, MAKEINTRESOURCEA(ordinal));
#else
    (void)ordinal;
    return GetProcAddress(library, name);
#endif
}

const InterfaceLibrary& interfaceLibrary() {
    static InterfaceLibrary bound;
    static std::once_flag once;
    std::call_once(once, [] {
        HMODULE library = LoadLibraryA("zorvif32.dll");
        if (library == nullptr) return;
        bound.receive = reinterpret_cast<ReceiveEntry>(entry(library, 1, "zelReceive"));
        bound.send = reinterpret_cast<SendEntry>(entry(library, 2, "zelSend"));
        bound.deliversNumber = reinterpret_cast<NumberQuery>(GetProcAddress(library, "zelDeliversNumber"));
        bound.sendWithin = reinterpret_cast<TimedSendEntry>(GetProcAddress(library, "zelSendTimeout"));
        bound.frameLength = reinterpret_cast<FrameLength>(GetProcAddress(library, "zelFrameLength"));
        bound.sendMany = reinterpret_cast<BatchSendEntry>(GetProcAddress(library, "zelSendManyTimeout"));
    });
    return bound;
}

}  // namespace

namespace zel {

LONG send(HWND target, UINT code, LONG parameter, void* buffer, int kind, int size) {
    const auto& library = interfaceLibrary();
    if (library.send == nullptr) return 0;
    return library.send(target, code, parameter, buffer, kind, size < 0 ? 0 : size);
}

bool sendWithin(HWND target, UINT code, LONG parameter, void* buffer, int kind, int size, DWORD timeoutMs,
                LONG& result) {
    result = 0;
    const auto& library = interfaceLibrary();
    if (library.sendWithin == nullptr) return false;
    return library.sendWithin(target, code, parameter, buffer, kind, size < 0 ? 0 : size, timeoutMs, &result) != FALSE;
}

int sendManyWithin(HWND target, const Outbound* messages, int count, DWORD timeoutMs) {
    const auto& library = interfaceLibrary();
    if (library.sendMany != nullptr) return library.sendMany(target, messages, count, timeoutMs);
    int sent = 0;
    for (LONG ignored = 0; sent < count; ++sent) {
        const Outbound& message = messages[sent];
        const auto* bytes = static_cast<const unsigned char*>(message.data);
        std::vector<unsigned char> copy(bytes, bytes + (message.size > 0 ? message.size : 0));  // the handler may rewrite it
        if (!sendWithin(target, message.code, message.parameter, copy.data(), message.kind, message.size, timeoutMs,
                        ignored))
            break;
    }
    return sent;
}

std::size_t frameLength(LPARAM lParam) {
    const auto& library = interfaceLibrary();
    return library.frameLength != nullptr ? library.frameLength(lParam) : 0;
}

LRESULT receive(HWND window, WPARAM wParam, LPARAM lParam) {
    const auto& library = interfaceLibrary();
    if (library.receive == nullptr) return 0;
    ++receivesInProgress;
    const LRESULT result = library.receive(window, wParam, lParam);
    --receivesInProgress;
    return result;
}

bool deliversNumber(HWND window, UINT message, LPARAM lParam) {
    if (receivesInProgress == 0) return false;
    const auto& library = interfaceLibrary();
    return library.deliversNumber != nullptr && library.deliversNumber(window, message, lParam) != FALSE;
}

}  // namespace zel
