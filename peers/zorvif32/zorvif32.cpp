// Stand-in for the interface library "zorvif32.dll" (transport zel).
//
// Send entry: wraps the caller's buffer in a frame and sends message 2074 to
// the target window; the target's procedure hands the message to the receive
// entry, which delivers the request to that window as message `code` with the
// frame's bytes, which the handler may rewrite. On return the bytes are copied
// back into the caller's buffer, so a reply text is there when the send
// returns; the returned code is the handler's result. A third entry,
// zelDeliversNumber, tells a receiving window whether the lParam it is
// being given is a number rather than a pointer into the frame. A fourth,
// zelSendTimeout, is the send entry with a deadline, for the hub's deliveries.
// The receive entry takes a frame only when its header and payload fit in
// the block that the transport delivered, whose length a fifth entry,
// zelFrameLength, tells the receiving window.
#include <windows.h>

#include <cstring>
#include <vector>

#include "qxplatform.h"
#include "zelFrame.h"
#include "qxExport.h"

namespace {
constexpr UINT zelMessage = 2074;
constexpr int numberKind = 0;

// The numeric delivery in progress on this thread, if any.
struct NumericDelivery {
    HWND window = nullptr;
    UINT message = 0;
    LPARAM value = 0;
};
thread_local NumericDelivery numericDelivery;
}  // namespace

extern "C" {

// Sends one frame and copies the handler's bytes back into the caller's
// buffer; false when the target did not take it within timeoutMs (INFINITE:
// no limit), and the buffer is then left as it was.
QX_EXPORT BOOL zelSendTimeout(HWND target, UINT code, LONG parameter, void* buffer, int kind, int size,
                               UINT timeoutMs, LONG* result) {
    const std::uint32_t length = size > 0 ? static_cast<std::uint32_t>(size) : 0;
    std::vector<unsigned char> storage(sizeof(ZelFrame) + length + 1, 0);
    auto* frame = reinterpret_cast<ZelFrame*>(storage.data());
    *frame = ZelFrame{ZelFrame::expectedMagic, code & 0xFFFF, parameter, kind, length, 0};
    if (buffer != nullptr && length != 0) std::memcpy(frame->data(), buffer, length);

    const WPARAM summary = (static_cast<WPARAM>(code & 0xFFFF) << 16) | (static_cast<WPARAM>(parameter) & 0xFFFF);
    // A target in another process gets a copy of the frame, and its rewritten
    // bytes come back.
    DWORD_PTR answer = 0;
    if (timeoutMs == INFINITE) {
        answer = static_cast<DWORD_PTR>(
            qxplatform::sendMessageWithBlock(target, zelMessage, summary, frame, storage.size()));
    } else if (qxplatform::sendMessageWithBlockTimeout(target, zelMessage, summary, frame, storage.size(),
                                                       SMTO_NORMAL, timeoutMs, &answer) == 0) {
        if (result != nullptr) *result = 0;
        return FALSE;
    }
    if (buffer != nullptr && length != 0) std::memcpy(buffer, frame->data(), length);
    if (result != nullptr) *result = static_cast<LONG>(answer);
    return TRUE;
}

QX_EXPORT LONG zelSend(HWND target, UINT code, LONG parameter, void* buffer, int kind, int size) {
    LONG result = 0;
    zelSendTimeout(target, code, parameter, buffer, kind, size, INFINITE, &result);
    return result;
}

// The real length of the block that lParam points to while a window
// handles message 2074 (0 when it is no frame this library sent), as the
// transport that carried it tells: a receiver checks a frame against it
// before it reads the frame's own size.
QX_EXPORT DWORD zelFrameLength(LPARAM lParam) { return static_cast<DWORD>(qxplatform::sentBlockSize(lParam)); }

QX_EXPORT LRESULT zelReceive(HWND window, WPARAM /*wParam*/, LPARAM lParam) {
    // The frame's own size field is the sender's claim: it must fit in the
    // block that the transport delivered.
    if (!ZelFrame::fits(reinterpret_cast<const void*>(lParam), zelFrameLength(lParam))) return 0;
    auto* frame = reinterpret_cast<ZelFrame*>(lParam);
    if (frame->magic != ZelFrame::expectedMagic) return 0;
    // The system's own messages and the transport's message are no requests:
    // the window would read the frame's bytes as what the system passes with them.
    if (frame->code < WM_USER || frame->code == zelMessage) return 0;
    const WPARAM parameter = static_cast<WPARAM>(static_cast<DWORD>(frame->parameter));
    if (frame->kind != numberKind)
        return SendMessageA(window, frame->code, parameter, reinterpret_cast<LPARAM>(frame->data()));
    std::uint32_t number = 0;
    std::memcpy(&number, frame->data(), frame->size < sizeof number ? frame->size : sizeof number);
    const NumericDelivery outer = numericDelivery;
    numericDelivery = {window, frame->code, static_cast<LPARAM>(number)};
    const LRESULT result = SendMessageA(window, frame->code, parameter, static_cast<LPARAM>(number));
    numericDelivery = outer;
    return result;
}

// True while the receive entry, on this thread, delivers `message` to
// `window` with a number from a numeric frame as lParam, so that a handler
// that expects a pointer there can drop the delivery.
QX_EXPORT BOOL zelDeliversNumber(HWND window, UINT message, LPARAM lParam) {
    return numericDelivery.window == window && numericDelivery.message == message && numericDelivery.value == lParam;
}

}  // extern "C"
