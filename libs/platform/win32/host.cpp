// Path and code-page extensions on the real API: Windows paths are host
// paths, and the ANSI code page is the system's.
#include "qxplatform.h"
#include "sent_blocks.h"

namespace qxplatform {

std::string hostPath(const std::string& windowsPath) { return windowsPath; }

bool setAnsiCodePage(UINT) { return false; }

long sessionWindowCount() { return -1; }

// The system's own messages are refused, as on our own layer: their
// receivers would read the block as what the system passes with them.
LRESULT sendMessageWithBlock(HWND window, UINT message, WPARAM wParam, void* block, std::size_t size) {
    if (message < WM_USER) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const SentBlock listed(block, size);
    return SendMessageA(window, message, wParam, reinterpret_cast<LPARAM>(block));
}

LRESULT sendMessageWithBlockTimeout(HWND window, UINT message, WPARAM wParam, void* block, std::size_t size,
                                    UINT flags, UINT timeoutMs, DWORD_PTR* result) {
    if (message < WM_USER) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const SentBlock listed(block, size);
    return SendMessageTimeoutA(window, message, wParam, reinterpret_cast<LPARAM>(block), flags, timeoutMs, result);
}

}  // namespace qxplatform
