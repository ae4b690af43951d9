// Stand-in for "halvik.dll": tells a client where the running hub's window is.
#include <windows.h>

#include "orqWindowClass.h"

extern "C" {

#ifdef _WIN32
__declspec(dllexport)
#else
__attribute__((visibility("default")))
#endif
HWND orqHwnd() {
    return FindWindowA(orqWindowClass, nullptr);
}

}  // extern "C"
