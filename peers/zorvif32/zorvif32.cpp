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
// zelFrameLength, tells the receiving window. A sixth, zelSendManyTimeout,
// carries several one-way messages to one window in as few exchanges as
// their bytes allow, each delivered in turn as if sent alone; it is how the
// hub delivers a burst of revertives to one client.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "qxplatform.h"
#include "zelFrame.h"
#include "qxExport.h"

namespace {
constexpr UINT zelMessage = 2074;
constexpr int numberKind = 0;
// The bytes of one batch exchange, well within what one cross-process send carries.
constexpr std::size_t batchBytes = 32 * 1024;

// The numeric delivery in progress on this thread, if any.
struct NumericDelivery {
    HWND window = nullptr;
    UINT message = 0;
    LPARAM value = 0;
};
thread_local NumericDelivery numericDelivery;

// Delivers one frame that fits in `length` bytes to `window`; 0 for a frame
// that is no request.
LRESULT deliverFrame(HWND window, ZelFrame* frame, std::size_t length) {
    // The frame's own size field is the sender's claim: it must fit in the
    // block that the transport delivered.
    if (!ZelFrame::fits(frame, length) || frame->magic != ZelFrame::expectedMagic) return 0;
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

// Delivers the frames of a batch in order, as far as they fit in `length`
// bytes; returns how many were delivered.
LRESULT deliverBatch(HWND window, ZelFrame* batch, std::size_t length) {
    if (!ZelFrame::fits(batch, length)) return 0;
    auto* next = batch->data();
    std::size_t left = batch->size;
    LRESULT delivered = 0;
    for (std::int32_t i = 0; i < batch->parameter && left >= sizeof(ZelFrame); ++i) {
        auto* frame = reinterpret_cast<ZelFrame*>(next);
        if (!ZelFrame::fits(frame, left)) break;
        const std::size_t taken = std::min(ZelFrame::batchedLength(frame->size), left);
        deliverFrame(window, frame, taken);
        ++delivered;
        next += taken;
        left -= taken;
    }
    return delivered;
}

// Lays messages [first, end) out as one batch; returns the index past the
// last one that fits in batchBytes (at least one).
int layOutBatch(const ZelOutbound* messages, int first, int end, std::vector<unsigned char>& block) {
    block.assign(sizeof(ZelFrame), 0);
    int count = 0;
    for (int i = first; i < end; ++i, ++count) {
        const std::uint32_t size = messages[i].size > 0 ? static_cast<std::uint32_t>(messages[i].size) : 0;
        const std::size_t at = block.size();
        if (count > 0 && at + ZelFrame::batchedLength(size) > batchBytes) break;
        block.resize(at + ZelFrame::batchedLength(size), 0);
        auto* frame = reinterpret_cast<ZelFrame*>(block.data() + at);
        *frame = ZelFrame{ZelFrame::expectedMagic, messages[i].code & 0xFFFF, messages[i].parameter,
                          messages[i].kind, size, 0};
        if (size != 0) std::memcpy(frame->data(), messages[i].data, size);
    }
    *reinterpret_cast<ZelFrame*>(block.data()) =
        ZelFrame{ZelFrame::batchMagic, 0, count, 1, static_cast<std::uint32_t>(block.size() - sizeof(ZelFrame)), 0};
    return first + count;
}

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

// Sends `count` one-way messages to `target`, in order, in as few exchanges
// as batchBytes allows, each exchange within timeoutMs; returns how many the
// target took (fewer than count when an exchange was not taken in time).
QX_EXPORT int zelSendManyTimeout(HWND target, const ZelOutbound* messages, int count, UINT timeoutMs) {
    std::vector<unsigned char> block;
    int sent = 0;
    while (sent < count) {
        const int next = layOutBatch(messages, sent, count, block);
        DWORD_PTR answer = 0;
        if (qxplatform::sendMessageWithBlockTimeout(target, zelMessage, 0, block.data(), block.size(), SMTO_NORMAL,
                                                    timeoutMs, &answer) == 0)
            break;
        sent = next;
    }
    return sent;
}

QX_EXPORT LRESULT zelReceive(HWND window, WPARAM /*wParam*/, LPARAM lParam) {
    auto* frame = reinterpret_cast<ZelFrame*>(lParam);
    const std::size_t length = zelFrameLength(lParam);
    if (!ZelFrame::fits(frame, length)) return 0;
    if (frame->magic == ZelFrame::batchMagic) return deliverBatch(window, frame, length);
    return deliverFrame(window, frame, length);
}

// True while the receive entry, on this thread, delivers `message` to
// `window` with a number from a numeric frame as lParam, so that a handler
// that expects a pointer there can drop the delivery.
QX_EXPORT BOOL zelDeliversNumber(HWND window, UINT message, LPARAM lParam) {
    return numericDelivery.window == window && numericDelivery.message == message && numericDelivery.value == lParam;
}

}  // extern "C"
