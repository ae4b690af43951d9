// Extensions that Win32 lacks, on both backends: debug-output capture, the
// host path of a Windows path, code-page selection and message pumping.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

/// Extensions that Win32 lacks, on both backends.
namespace qxplatform {

/// A receiver of debug output: every string given to OutputDebugStringA in
/// this process is handed, whole, to each registered sink (on any thread).
/// Sinks must not call OutputDebugStringA themselves.
using DebugSink = std::function<void(const char* text)>;
/// Registers a sink; returns its id for removeDebugSink.
int addDebugSink(DebugSink sink);
/// Removes a sink; once this returns it is never called again.
void removeDebugSink(int id);

/// Collects debug output for as long as it lives.
class DebugCapture {
public:
    /// Starts collecting.
    DebugCapture() : id_(addDebugSink([this](const char* text) { add(text); })) {}
    ~DebugCapture() { removeDebugSink(id_); }  ///< Stops collecting.
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    /// The strings so far, one per call of OutputDebugStringA.
    std::vector<std::string> lines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    /// The strings so far, joined.
    std::string text() const {
        std::string all;
        for (const auto& line : lines()) all += line;
        return all;
    }
    /// Whether the joined strings contain the piece.
    bool contains(const std::string& piece) const { return text().find(piece) != std::string::npos; }
    /// Forgets the strings so far.
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.clear();
    }

private:
    void add(const char* text) {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.emplace_back(text ? text : "");
    }
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    int id_;
};

/// The host path that file functions use for a Windows path. On Windows the
/// path itself.
std::string hostPath(const std::string& windowsPath);

/// Selects the ANSI code page (CP_ACP, CP_THREAD_ACP) of this process; 1252 by
/// default. Returns false where the platform does not allow it (Windows) or
/// the code page is not supported.
bool setAnsiCodePage(UINT codePage);

/// Sends a message whose lParam points to a block of size bytes that the
/// receiver may read and rewrite. A receiver in another process of the session
/// gets a copy, and its rewritten bytes are copied back before the call
/// returns (the way Windows marshals its own messages that carry buffers). On
/// Windows a plain SendMessageA: the block reaches the receiver's process only
/// within it. The system's own messages (below WM_USER, WM_COPYDATA among
/// them) are refused: 0, with ERROR_INVALID_PARAMETER.
LRESULT sendMessageWithBlock(HWND window, UINT message, WPARAM wParam, void* block, std::size_t size);

/// sendMessageWithBlock with the flags and the deadline of SendMessageTimeoutA:
/// 0 when the receiver did not answer within timeoutMs (ERROR_TIMEOUT) or
/// cannot be reached; its answer is then not in *result, nor are its bytes in
/// the block.
LRESULT sendMessageWithBlockTimeout(HWND window, UINT message, WPARAM wParam, void* block, std::size_t size,
                                    UINT flags, UINT timeoutMs, DWORD_PTR* result);

/// While a window procedure handles a message that sendMessageWithBlock sent,
/// the real size of the block its lParam points to (for a sender of another
/// process, of the copy made for the receiver); 0 for any other lParam. A
/// receiver reads no further than that, whatever the block's bytes claim.
std::size_t sentBlockSize(LPARAM lParam);

/// How many windows the processes of this window session have (those of
/// processes that died are not counted); -1 where the platform does not tell
/// (Windows).
long sessionWindowCount();

/// Whether this process can make windows: false when the window session
/// cannot be joined (a bad QX_SESSION), after one line on standard error that
/// says why. Programs ask first, so that this line is all they print rather
/// than their libraries' complaints that follow from it.
bool windowsAvailable();

/// Dispatches this thread's messages until done() holds or timeoutMs passes;
/// returns done(). It sleeps while no message is queued, and checks done()
/// after every batch of messages, so a condition set by a handler (an event
/// of ZorvClient, say) ends the wait at once:
///
///     bool seen = false;
///     client.RouterRevertiveEvent += [&](uint, uint, int) { seen = true; };
///     client.routerCrosspoint(1, 5, 7, u",---", true);
///     if (!qxplatform::pumpUntil([&] { return seen; }, 2000)) { /* no revertive within 2 s */ }
bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

/// Dispatches every message that is pending now, without waiting.
void pumpPending();

}  // namespace qxplatform
