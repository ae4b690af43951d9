// Stand-in for "tessil32.dll": tells a driver where the window of the
// infodriver of a device is, or null when none runs.
#include <windows.h>

#include "infodriverWindowClass.h"
#include "qxExport.h"

extern "C" {

QX_EXPORT HWND infoHwnd(int device) {
    return FindWindowA(infodriverWindowClass, infodriverWindowName(device).c_str());
}

}  // extern "C"
