// Whether the process can make windows, written on the Win32 API so that it
// serves both backends.
#include "qxplatform.h"

#include <cstdio>

namespace qxplatform {

bool windowsAvailable() {
    static const char probeClass[] = "qxWindowsAvailableProbe";
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = probeClass;
    const bool registered = RegisterClassA(&windowClass) != 0;
    const HWND probe = CreateWindowExA(0, probeClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance,
                                       nullptr);
    const DWORD error = GetLastError();
    if (probe != nullptr) DestroyWindow(probe);
    if (registered) UnregisterClassA(probeClass, windowClass.hInstance);
#ifdef _WIN32
    if (probe == nullptr) std::fprintf(stderr, "cannot create a window: error %lu\n", error);
#else
    (void)error;  // the posix backend has said why, once, on standard error
#endif
    return probe != nullptr;
}

}  // namespace qxplatform
