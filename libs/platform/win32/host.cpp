// Path and code-page extensions on the real API: Windows paths are host
// paths, and the ANSI code page is the system's.
#include "qxplatform.h"

namespace qxplatform {

std::string hostPath(const std::string& windowsPath) { return windowsPath; }

bool setAnsiCodePage(UINT) { return false; }

long sessionWindowCount() { return -1; }

LRESULT sendMessageWithBlock(HWND window, UINT message, WPARAM wParam, void* block, std::size_t) {
    return SendMessageA(window, message, wParam, reinterpret_cast<LPARAM>(block));
}

}  // namespace qxplatform
