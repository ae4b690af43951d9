// Stand-in for "halvik.dll": tells a client where the running hub's window is.
#include <windows.h>

#include "orqWindowClass.h"
#include "qxExport.h"

extern "C" {

QX_EXPORT HWND orqHwnd() {
    return FindWindowA(orqWindowClass, nullptr);
}

}  // extern "C"
