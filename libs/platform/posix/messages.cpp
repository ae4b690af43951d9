// Sent and posted messages: SendMessageA and its timeout form, broadcasts,
// PostMessageA, the message loop functions and waiting for input.
//
// A message sent to a window of the calling thread is a direct call of its
// procedure. A message sent to another thread's window goes into that
// thread's queue; the sender waits and, while it waits, handles the messages
// other threads send to its own windows, so that a reply sent back during the
// send arrives and two threads sending to each other never deadlock.
//
// A window of another process of the session is reached through its thread's
// endpoint (thread_queue.h); the sender waits in the same way, and looks now
// and then whether the window and its process still exist, so that a send to
// a process that died returns 0 promptly.
#include <windows.h>

#include <chrono>
#include <memory>
#include <optional>

#include "qxplatform.h"
#include "sent_blocks.h"
#include "session.h"
#include "thread_context.h"
#include "window_table.h"

using qxposix::Clock;
using qxposix::Deadline;
using qxposix::MessageFilter;
using qxposix::RemoteCall;
using qxposix::SentMessage;
using qxposix::Session;
using qxposix::SessionWindow;
using qxposix::ThreadContext;
using qxposix::ThreadQueue;
using qxposix::Window;
using qxposix::WindowKind;
using qxposix::WindowTable;

namespace {

constexpr DWORD kErrorInvalidThreadId = 1444;  // ERROR_INVALID_THREAD_ID
const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1));

enum class SendOutcome { handled, dropped, timedOut, noWindow, broadcast };

// How often a thread waiting for another process looks whether it still lives.
constexpr Clock::duration kLivenessPeriod = std::chrono::milliseconds(5);
// How often a sender whose peer's ring is full tries again (the peer does not
// tell when it made room).
constexpr Clock::duration kRoomPeriod = std::chrono::milliseconds(1);

Deadline deadlineAfter(DWORD milliseconds) {
    if (milliseconds == INFINITE) return std::nullopt;
    return Clock::now() + std::chrono::milliseconds(milliseconds);
}

// As on Windows, a broadcast of a private message number (WM_USER up to the
// registered-message range) is not delivered.
bool broadcastSkips(UINT message) { return message >= WM_USER && message < 0xC000; }

// Runs a message that another thread sent, on the window's own thread.
void handleSent(ThreadContext& thread, SentMessage& sent) {
    Window& window = *sent.target;
    if (!window.alive()) {
        sent.complete(0, false);
        return;
    }
    ++thread.inboundSends;
    LRESULT result;
    if (sent.carriesBlock()) {
        const qxplatform::SentBlock listed(sent.block(), sent.blockSize());
        result = window.call(sent.message, sent.wParam, reinterpret_cast<LPARAM>(sent.block()));
    } else if (sent.message == WM_COPYDATA && sent.lParam != 0) {
        COPYDATASTRUCT data = sent.payload();  // valid only during this call
        result = window.call(WM_COPYDATA, sent.wParam, reinterpret_cast<LPARAM>(&data));
    } else {
        result = window.call(sent.message, sent.wParam, sent.lParam);
    }
    --thread.inboundSends;
    sent.complete(result, true);
}

bool handleOneSent(ThreadContext& thread) {
    const auto sent = thread.queue().takeSent();
    if (!sent) return false;
    handleSent(thread, *sent);
    return true;
}

void handleAllSent(ThreadContext& thread) {
    while (handleOneSent(thread)) {
    }
}

// Sends to one window and waits for its answer (unless it is the calling
// thread's, which is a direct call). With SMTO_BLOCK the wait does not handle
// the messages sent to this thread.
SendOutcome sendToWindow(const std::shared_ptr<Window>& window, UINT message, WPARAM wParam, LPARAM lParam,
                         UINT flags, const Deadline& deadline, LRESULT& result) {
    result = 0;
    if (window->ownedByCurrentThread()) {
        if (!window->alive()) return SendOutcome::dropped;
        result = window->call(message, wParam, lParam);
        return SendOutcome::handled;
    }
    ThreadContext& thread = ThreadContext::current();
    const auto sent = std::make_shared<SentMessage>(window, message, wParam, lParam, thread.sharedQueue());
    if (message == WM_COPYDATA && lParam != 0) sent->copyPayload(*reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    if (!window->owner().deliverSent(sent)) return SendOutcome::dropped;
    ThreadQueue& own = thread.queue();
    for (;;) {
        const auto seen = own.signals();
        own.drainRemote();
        if (sent->done()) {
            result = sent->result();
            return sent->handled() ? SendOutcome::handled : SendOutcome::dropped;
        }
        if (!(flags & SMTO_BLOCK) && handleOneSent(thread)) continue;
        if (!own.waitForSignal(seen, deadline)) return SendOutcome::timedOut;
    }
}

// A window of another process of the session, or none.
std::optional<SessionWindow> findRemote(HWND handle) {
    Session* session = Session::instance();
    if (session == nullptr) return std::nullopt;
    auto window = session->find(handle);
    if (window && window->local()) return std::nullopt;  // destroyed meanwhile
    return window;
}

// Sends to a window of another process and waits, first for room in its
// ring, then for the answer, handling meanwhile (unless SMTO_BLOCK) what is
// sent to this thread. Both waits end at the deadline, or when the window or
// its process is found gone.
SendOutcome sendToRemote(const SessionWindow& window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                         const Deadline& deadline, LRESULT& result, void* block = nullptr, std::size_t blockSize = 0) {
    result = 0;
    ThreadContext& thread = ThreadContext::current();
    ThreadQueue& own = thread.queue();
    RemoteCall call;
    call.block = block;
    call.blockSize = blockSize;
    if (!own.sendRemote(window, message, wParam, lParam, call)) return SendOutcome::dropped;
    for (;;) {
        const auto seen = own.signals();
        own.drainRemote();
        if (call.done) {
            result = call.result;
            return call.handled ? SendOutcome::handled : SendOutcome::dropped;
        }
        if (!own.handOver(call)) {
            own.forgetCall(call);
            return SendOutcome::dropped;
        }
        if (!(flags & SMTO_BLOCK) && handleOneSent(thread)) continue;
        Deadline slice = Clock::now() + (call.queued ? kLivenessPeriod : kRoomPeriod);
        if (deadline && *deadline < *slice) slice = deadline;
        if (own.waitForSignal(seen, slice)) continue;
        const bool late = deadline && Clock::now() >= *deadline;
        if (late || !Session::instance()->exists(window)) {
            own.forgetCall(call);
            return late ? SendOutcome::timedOut : SendOutcome::dropped;
        }
    }
}

// The top-level windows of the session, oldest first.
std::vector<SessionWindow> topLevelWindows() {
    std::vector<SessionWindow> windows;
    if (Session* session = Session::instance()) {
        for (auto& window : session->list())
            if (window.kind == static_cast<std::uint8_t>(WindowKind::topLevel)) windows.push_back(std::move(window));
    }
    return windows;
}

// Every top-level window of every thread and process, one after the other; a
// window destroyed meanwhile is skipped. Each window gets the whole timeout.
void broadcast(UINT message, WPARAM wParam, LPARAM lParam, UINT flags, DWORD timeout) {
    if (broadcastSkips(message)) return;
    for (const auto& target : topLevelWindows()) {
        LRESULT ignored;
        if (!target.local()) {
            sendToRemote(target, message, wParam, lParam, flags, deadlineAfter(timeout), ignored);
        } else if (const auto window = WindowTable::instance().find(target.handle); window && window->alive()) {
            sendToWindow(window, message, wParam, lParam, flags, deadlineAfter(timeout), ignored);
        }
    }
}

MSG makeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG posted{};
    posted.hwnd = window;
    posted.message = message;
    posted.wParam = wParam;
    posted.lParam = lParam;
    posted.time = GetTickCount();
    return posted;
}

// The message waits in the window's thread's queue; false with the last error
// set when the window is gone or the queue holds its quota of posts.
bool postToQueue(ThreadQueue& queue, const MSG& message, const Window* target, DWORD goneError) {
    switch (queue.post(message, target)) {
    case ThreadQueue::Posted::done: return true;
    case ThreadQueue::Posted::full: SetLastError(ERROR_NOT_ENOUGH_QUOTA); return false;
    case ThreadQueue::Posted::gone: break;
    }
    SetLastError(goneError);
    return false;
}

bool postToWindow(const Window& window, UINT message, WPARAM wParam, LPARAM lParam) {
    return postToQueue(window.owner(), makeMessage(window.handle(), message, wParam, lParam), &window,
                       ERROR_INVALID_WINDOW_HANDLE);
}

// The filter of GetMessageA/PeekMessageA; false (error set) for a window that
// is not one of the calling thread's.
bool makeFilter(HWND window, UINT first, UINT last, MessageFilter& filter) {
    filter.first = first;
    filter.last = last;
    if (window == nullptr) return true;
    if (window == kThreadMessagesOnly) {
        filter.threadOnly = true;
        return true;
    }
    const auto found = WindowTable::instance().find(window);
    if (!found || !found->ownedByCurrentThread()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    filter.window = found->handle();
    return true;
}

// The common road of both send functions: a broadcast, or one window found
// in the table (ERROR_INVALID_WINDOW_HANDLE when there is none).
SendOutcome sendMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, UINT flags, DWORD timeout,
                        LRESULT& result) {
    result = 0;
    if (hWnd == HWND_BROADCAST) {
        broadcast(message, wParam, lParam, flags, timeout);
        return SendOutcome::broadcast;
    }
    if (const auto window = WindowTable::instance().find(hWnd))
        return sendToWindow(window, message, wParam, lParam, flags, deadlineAfter(timeout), result);
    if (const auto remote = findRemote(hWnd))
        return sendToRemote(*remote, message, wParam, lParam, flags, deadlineAfter(timeout), result);
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return SendOutcome::noWindow;
}

// Waits until the calling thread has a sent or posted message of the wake
// mask; false at the deadline.
bool waitForInput(DWORD wakeMask, const Deadline& deadline) {
    ThreadQueue& queue = ThreadContext::current().queue();
    for (;;) {
        const auto seen = queue.signals();
        queue.drainRemote();
        if (queue.hasInput(wakeMask)) return true;
        if (!queue.waitForSignal(seen, deadline)) return false;
    }
}

bool postToAny(const SessionWindow& target, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!target.local()) return ThreadContext::current().queue().postRemote(target, message, wParam, lParam);
    const auto window = WindowTable::instance().find(target.handle);
    return window && postToWindow(*window, message, wParam, lParam);
}

}  // namespace

extern "C" {

LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result;
    const SendOutcome outcome = sendMessage(hWnd, Msg, wParam, lParam, SMTO_NORMAL, INFINITE, result);
    if (outcome == SendOutcome::broadcast) return TRUE;
    if (outcome == SendOutcome::dropped) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return result;
}

// SMTO_ABORTIFHUNG is accepted; a thread counts as hung only by the timeout.
LRESULT SendMessageTimeoutA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, UINT fuFlags, UINT uTimeout,
                            DWORD_PTR* lpdwResult) {
    LRESULT result;
    switch (sendMessage(hWnd, Msg, wParam, lParam, fuFlags, uTimeout, result)) {
    case SendOutcome::noWindow: return 0;
    case SendOutcome::timedOut: SetLastError(ERROR_TIMEOUT); return 0;
    case SendOutcome::dropped:
        if (fuFlags & SMTO_ERRORONEXIT) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        break;
    case SendOutcome::broadcast:
    case SendOutcome::handled: break;
    }
    if (lpdwResult != nullptr) *lpdwResult = static_cast<DWORD_PTR>(result);
    return TRUE;
}

// A null window posts to the calling thread; HWND_BROADCAST to every
// top-level window.
BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (Msg == WM_COPYDATA) {
        SetLastError(ERROR_MESSAGE_SYNC_ONLY);
        return FALSE;
    }
    if (hWnd == nullptr)
        return postToQueue(ThreadContext::current().queue(), makeMessage(nullptr, Msg, wParam, lParam), nullptr,
                           kErrorInvalidThreadId);
    if (hWnd == HWND_BROADCAST) {
        if (broadcastSkips(Msg)) return TRUE;
        for (const auto& window : topLevelWindows()) postToAny(window, Msg, wParam, lParam);
        return TRUE;
    }
    if (const auto window = WindowTable::instance().find(hWnd)) {
        return postToWindow(*window, Msg, wParam, lParam) ? TRUE : FALSE;  // error set
    } else if (const auto remote = findRemote(hWnd)) {
        return ThreadContext::current().queue().postRemote(*remote, Msg, wParam, lParam) ? TRUE : FALSE;  // error set
    }
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
}

BOOL PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (Msg == WM_COPYDATA) {
        SetLastError(ERROR_MESSAGE_SYNC_ONLY);
        return FALSE;
    }
    const auto queue = qxposix::findThreadQueue(idThread);
    if (!queue) {
        SetLastError(kErrorInvalidThreadId);
        return FALSE;
    }
    return postToQueue(*queue, makeMessage(nullptr, Msg, wParam, lParam), nullptr, kErrorInvalidThreadId) ? TRUE : FALSE;
}

void PostQuitMessage(int nExitCode) { ThreadContext::current().queue().postQuit(nExitCode); }

// Handles every pending sent message, then returns the first posted message
// the filter accepts, waiting for one. FALSE for WM_QUIT, -1 on a bad window.
BOOL GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    MessageFilter filter;
    if (lpMsg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (!makeFilter(hWnd, wMsgFilterMin, wMsgFilterMax, filter)) return -1;
    ThreadContext& thread = ThreadContext::current();
    ThreadQueue& queue = thread.queue();
    for (;;) {
        const auto seen = queue.signals();
        queue.drainRemote();
        handleAllSent(thread);
        if (queue.takePosted(*lpMsg, filter, true)) return lpMsg->message == WM_QUIT ? FALSE : TRUE;
        queue.waitForSignal(seen, std::nullopt);  // also returns when a frame arrived
    }
}

BOOL PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
    MessageFilter filter;
    if (lpMsg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!makeFilter(hWnd, wMsgFilterMin, wMsgFilterMax, filter)) return FALSE;
    ThreadContext& thread = ThreadContext::current();
    ThreadQueue& queue = thread.queue();
    queue.drainRemote();
    handleAllSent(thread);
    if (queue.takePosted(*lpMsg, filter, (wRemoveMsg & PM_REMOVE) != 0)) return TRUE;
    if (!queue.drainRemote()) return FALSE;
    handleAllSent(thread);
    return queue.takePosted(*lpMsg, filter, (wRemoveMsg & PM_REMOVE) != 0) ? TRUE : FALSE;
}

// There are no keyboard messages to translate.
BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG* lpMsg) {
    if (lpMsg == nullptr || lpMsg->hwnd == nullptr) return 0;
    const auto window = WindowTable::instance().find(lpMsg->hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (!window->ownedByCurrentThread()) {
        SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
        return 0;
    }
    return window->call(lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

// Waits until the calling thread has a sent or posted message (as the wake
// mask selects) or the timeout passes. Only waiting without handles is
// supported. Input that was already there counts too, as with
// MWMO_INPUTAVAILABLE: a wait may end sooner than on Windows, never later.
DWORD MsgWaitForMultipleObjects(DWORD nCount, const HANDLE*, BOOL, DWORD dwMilliseconds, DWORD dwWakeMask) {
    if (nCount != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    return waitForInput(dwWakeMask, deadlineAfter(dwMilliseconds)) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

// Without handles, MWMO_WAITALL waits for input alone, and there are no
// asynchronous calls for MWMO_ALERTABLE to run.
DWORD MsgWaitForMultipleObjectsEx(DWORD nCount, const HANDLE* pHandles, DWORD dwMilliseconds, DWORD dwWakeMask,
                                  DWORD dwFlags) {
    if ((dwFlags & ~DWORD{MWMO_WAITALL | MWMO_ALERTABLE | MWMO_INPUTAVAILABLE}) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    return MsgWaitForMultipleObjects(nCount, pHandles, FALSE, dwMilliseconds, dwWakeMask);
}

BOOL WaitMessage() {
    waitForInput(QS_ALLINPUT, std::nullopt);
    return TRUE;
}

BOOL InSendMessage() { return ThreadContext::current().inboundSends > 0 ? TRUE : FALSE; }

}  // extern "C"

// A window of another process gets a copy of the block and sends its bytes
// back with the answer; any other window is sent the block itself. The
// system's own messages are refused: their receivers would read the block as
// what the system passes with them (WM_COPYDATA: a COPYDATASTRUCT whose
// pointer the sender chose).
LRESULT qxplatform::sendMessageWithBlock(HWND window, UINT message, WPARAM wParam, void* block, std::size_t size) {
    DWORD_PTR result = 0;
    sendMessageWithBlockTimeout(window, message, wParam, block, size, SMTO_NORMAL, INFINITE, &result);
    return static_cast<LRESULT>(result);
}

LRESULT qxplatform::sendMessageWithBlockTimeout(HWND window, UINT message, WPARAM wParam, void* block,
                                                std::size_t size, UINT flags, UINT timeoutMs, DWORD_PTR* result) {
    if (message < WM_USER) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!WindowTable::instance().find(window)) {
        if (const auto remote = findRemote(window)) {
            LRESULT answer;
            switch (sendToRemote(*remote, message, wParam, 0, flags, deadlineAfter(timeoutMs), answer, block, size)) {
            case SendOutcome::handled:
                if (result != nullptr) *result = static_cast<DWORD_PTR>(answer);
                return 1;
            case SendOutcome::timedOut: SetLastError(ERROR_TIMEOUT); return 0;
            default: SetLastError(ERROR_INVALID_WINDOW_HANDLE); return 0;
            }
        }
    }
    const qxplatform::SentBlock listed(block, size);
    return SendMessageTimeoutA(window, message, wParam, reinterpret_cast<LPARAM>(block), flags, timeoutMs, result);
}
