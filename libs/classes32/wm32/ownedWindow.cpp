#include "ownedWindow.h"

#include <cstdio>

namespace zorvwm32 {

HWND createOwnedMessageWindow(const char* classPrefix, WNDPROC procedure, void* owner) {
    char className[96];
    std::snprintf(className, sizeof className, "%s_%p", classPrefix, owner);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.cbWndExtra = sizeof(LONG_PTR);  // one pointer-sized slot: the owning object
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, className, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, owner);
}

void destroyOwnedMessageWindow(HWND window) {
    auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
    char className[256] = {};
    GetClassNameA(window, className, sizeof className);
    DestroyWindow(window);
    UnregisterClassA(className, instance);
}

}  // namespace zorvwm32
