// The window-message transport: WM_COPYDATA exchanges with a synchronous
// reply, in both directions, and the binding of the interface library that
// carries the second transport.
#pragma once

#include <windows.h>

extern const char zorvwm32Signature[];

namespace zorvwm32 {

constexpr UINT replyCode = 2984;         // code of a reply envelope
constexpr UINT zelMessage = 2074;        // inbound traffic of the interface library
constexpr DWORD textBlockSize = 512;     // size of every text block on the wire
constexpr DWORD numberBlockSize = 16;    // "%08lx" text of a numeric payload
constexpr int textKind = 1;              // payload is a text block
constexpr int numberKind = 0;            // payload points to one 32-bit number

}  // namespace zorvwm32

// Sends one request from `from` to `to` and returns the reply code.
// Text kind: the payload's first payloadLength bytes (at most 512) travel in a
// zero-filled 512-byte block; when replyCapacity is not 0 the reply block is
// copied back over the payload, at most min(replyCapacity, 512) bytes, and is
// always terminated within that length. Number kind: payload points to a
// 32-bit value, sent as "%08lx" text; a reply number is stored back there
// when replyCapacity is not 0. The reply is kept per exchange, so a send made
// while another one waits (from a nested message or a callback, or on another
// thread) never changes what the other returns. With no reply, returns 0 and
// leaves the payload untouched. Code 2984 (a reply) returns the send's result.
LONG copyDataSend(HWND from, HWND to, UINT code, LONG parameter, void* payload, DWORD payloadLength,
                  DWORD replyCapacity, int kind);

// Handles a WM_COPYDATA received by `receiver` from `requester`: a reply is
// stored for the exchange waiting for it; any other code is delivered to the
// receiver itself (message = code, wParam = parameter, lParam = the block or
// the number) and answered with a reply carrying the handler's result and the
// block as the handler left it.
void copyDataReceive(HWND receiver, HWND requester, const COPYDATASTRUCT* envelope);

// True while copyDataReceive, on this thread, is delivering `message` to
// `window` with a number from a numeric envelope as lParam. A handler that
// expects a text or record pointer there drops such a delivery instead of
// reading memory at that number.
bool copyDataDeliversNumber(HWND window, UINT message, LPARAM lParam);

// The interface library "zorvif32.dll", bound on first use and kept for the
// life of the process. Without the library both calls answer 0.
namespace zel {
// Send entry: target window, code, parameter, buffer, kind, buffer size.
LONG send(HWND target, UINT code, LONG parameter, void* buffer, int kind, int size);
// Receive entry, for every message 2074 a window receives.
LRESULT receive(HWND window, WPARAM wParam, LPARAM lParam);
}  // namespace zel
