// The window-message transport: WM_COPYDATA exchanges with a synchronous
// reply, in both directions, and the binding of the interface library that
// carries the second transport.
#pragma once

#include <windows.h>

#include <cstddef>

extern const char zorvwm32Signature[];

namespace zorvwm32 {

constexpr UINT replyCode = 2984;         // code of a reply envelope
constexpr UINT zelMessage = 2074;        // inbound traffic of the interface library
constexpr DWORD textBlockSize = 512;     // size of every text block on the wire
constexpr DWORD numberBlockSize = 16;    // "%08lx" text of a numeric payload
constexpr int textKind = 1;              // payload is a text block
constexpr int numberKind = 0;            // payload points to one 32-bit number

// How a reply block is copied back over the caller's buffer: a text reply up
// to its terminator with the rest zero-filled, so that request bytes the hub
// left behind a short answer never read as part of it; a record reply (a
// layout with binary fields ahead of its text) as the whole block.
enum class ReplyForm { text, record };

// Zero-fills the first `length` bytes of buffer behind its first zero byte;
// a buffer without one is left as it is.
void clearBehindText(void* buffer, DWORD length);

// A reply with code 0 whose block is the request's block unchanged answers
// nothing: the caller's payload stays as it was sent, as when no reply came,
// so that a request the hub leaves unanswered reads the same on every
// transport.
bool isUnansweredBlock(LONG code, const void* sent, const void* returned, DWORD length);

}  // namespace zorvwm32

// Sends one request from `from` to `to` and returns the reply code.
// Text kind: the payload's first payloadLength bytes (at most 512) travel in a
// zero-filled 512-byte block; when replyCapacity is not 0 the reply block is
// copied back over the payload, at most min(replyCapacity, 512) bytes, in the
// given form (an unanswered block, see above, is not copied). A reply text
// that fills that length is cut there and is not terminated: callers read it
// bounded by their capacity. Number kind: payload points to a
// 32-bit value, sent as "%08lx" text; a reply number is stored back there
// when replyCapacity is not 0. The reply is kept per exchange, so a send made
// while another one waits (from a nested message or a callback, or on another
// thread) never changes what the other returns. With no reply, returns 0 and
// leaves the payload untouched. Code 2984 (a reply) returns the send's result.
// The send waits at most timeoutMs for the receiver; one that does not answer
// in time is no reply, and leaves ERROR_TIMEOUT as the last error.
LONG copyDataSend(HWND from, HWND to, UINT code, LONG parameter, void* payload, DWORD payloadLength,
                  DWORD replyCapacity, int kind, zorvwm32::ReplyForm form = zorvwm32::ReplyForm::text,
                  DWORD timeoutMs = INFINITE);

// Handles a WM_COPYDATA received by `receiver` from `requester`: a reply is
// stored for the exchange waiting for it; any other code is delivered to the
// receiver itself (message = code, wParam = parameter, lParam = the block or
// the number) and answered with a reply carrying the handler's result and the
// block as the handler left it. The reply waits at most replyTimeoutMs for
// the requester to take it; false when it did not.
bool copyDataReceive(HWND receiver, HWND requester, const COPYDATASTRUCT* envelope, DWORD replyTimeoutMs = INFINITE);

// True while copyDataReceive, or the interface library's receive entry, on
// this thread, is delivering `message` to `window` with a number from a
// numeric envelope or frame as lParam. A handler that expects a text or
// record pointer there drops such a delivery instead of reading memory at
// that number.
bool transportDeliversNumber(HWND window, UINT message, LPARAM lParam);

// The interface library "zorvif32.dll", bound on first use and kept for the
// life of the process. Without the library both calls answer 0.
namespace zel {
// Send entry: target window, code, parameter, buffer, kind, buffer size.
LONG send(HWND target, UINT code, LONG parameter, void* buffer, int kind, int size);
// The send with a deadline (entry "zelSendTimeout", which a library may
// lack): false when the target did not take the frame within timeoutMs or
// the library has no such entry; result then is 0.
bool sendWithin(HWND target, UINT code, LONG parameter, void* buffer, int kind, int size, DWORD timeoutMs,
                LONG& result);
// One one-way message of a batch (entry "zelSendManyTimeout").
struct Outbound {
    UINT code;
    LONG parameter;
    const void* data;
    int kind;
    int size;
};
// Sends `count` one-way messages to `target` in order, batched into as few
// exchanges as the library can, each within timeoutMs; returns how many the
// target took. A library without that entry sends them one at a time.
int sendManyWithin(HWND target, const Outbound* messages, int count, DWORD timeoutMs);
// Receive entry, for every message 2074 a window receives.
LRESULT receive(HWND window, WPARAM wParam, LPARAM lParam);
// While a window handles message 2074, the real length of the block its
// lParam points to, as the library tells (entry "zelFrameLength"); 0 when
// the library does not know it or has no such entry.
std::size_t frameLength(LPARAM lParam);
// True while a receive entry on this thread delivers a number as lParam of
// `message` to `window`, as far as the library tells.
bool deliversNumber(HWND window, UINT message, LPARAM lParam);
}  // namespace zel
