// Stand-in for the interface library "zorvif32.dll" (transport zel).
//
// Send entry: wraps the caller's buffer in a frame and sends message 2074 to
// the target window; the target's procedure hands the message to the receive
// entry, which delivers the request to that window as message `code` with the
// frame's bytes, which the handler may rewrite. On return the bytes are copied
// back into the caller's buffer, so a reply text is there when the send
// returns; the returned code is the handler's result.
#include <windows.h>

#include <cstring>
#include <vector>

#include "qxplatform.h"
#include "zelFrame.h"
#include "qxExport.h"

namespace {
constexpr UINT zelMessage = 2074;
constexpr int numberKind = 0;
}  // namespace

extern "C" {

QX_EXPORT LONG zelSend(HWND target, UINT code, LONG parameter, void* buffer, int kind, int size) {
    const std::uint32_t length = size > 0 ? static_cast<std::uint32_t>(size) : 0;
    std::vector<unsigned char> storage(sizeof(ZelFrame) + length + 1, 0);
    auto* frame = reinterpret_cast<ZelFrame*>(storage.data());
    *frame = ZelFrame{ZelFrame::expectedMagic, code & 0xFFFF, parameter, kind, length, 0};
    if (buffer != nullptr && length != 0) std::memcpy(frame->data(), buffer, length);

    const WPARAM summary = (static_cast<WPARAM>(code & 0xFFFF) << 16) | (static_cast<WPARAM>(parameter) & 0xFFFF);
    // A target in another process gets a copy of the frame, and its rewritten
    // bytes come back.
    const LRESULT result = qxplatform::sendMessageWithBlock(target, zelMessage, summary, frame, storage.size());
    if (buffer != nullptr && length != 0) std::memcpy(buffer, frame->data(), length);
    return static_cast<LONG>(result);
}

QX_EXPORT LRESULT zelReceive(HWND window, WPARAM /*wParam*/, LPARAM lParam) {
    auto* frame = reinterpret_cast<ZelFrame*>(lParam);
    if (frame == nullptr || frame->magic != ZelFrame::expectedMagic) return 0;
    LPARAM value = reinterpret_cast<LPARAM>(frame->data());
    if (frame->kind == numberKind) {
        std::uint32_t number = 0;
        std::memcpy(&number, frame->data(), frame->size < sizeof number ? frame->size : sizeof number);
        value = static_cast<LPARAM>(number);
    }
    return SendMessageA(window, frame->code, static_cast<WPARAM>(static_cast<DWORD>(frame->parameter)), value);
}

}  // extern "C"
