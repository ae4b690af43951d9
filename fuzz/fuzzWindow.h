// Windows that fuzz targets talk through: a class registered on first use
// and one window of it, message-only unless broadcasts must reach it.
#pragma once

#include <windows.h>

namespace qxfuzz {

inline HWND createWindow(const char* className, WNDPROC procedure, bool topLevel = false) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);  // registered by an earlier input: fine
    return CreateWindowExA(0, className, "", 0, 0, 0, 0, 0, topLevel ? nullptr : HWND_MESSAGE, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

// Points the process's workstation identity at the environment, so that no
// configuration file is read for it.
inline void isolateWorkstation() {
    SetEnvironmentVariableA("QX_ROOT", "r");
    SetEnvironmentVariableA("QX_SYSTEM", "s");
    SetEnvironmentVariableA("QX_WORKSTATION", "12");
}

}  // namespace qxfuzz
