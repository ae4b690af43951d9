#include "Control.h"

#include <fstream>
#include <sstream>

namespace soak {

ControlWindow::ControlWindow(std::function<void(const std::string&)> onLine) : onLine_(std::move(onLine)) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kControlClass;
    RegisterClassA(&windowClass);
    window_ = CreateWindowExA(0, kControlClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance, this);
}

ControlWindow::~ControlWindow() {
    if (window_ != nullptr) DestroyWindow(window_);
    UnregisterClassA(kControlClass, GetModuleHandleA(nullptr));
}

LRESULT CALLBACK ControlWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (message == WM_COPYDATA) {
        auto* self = reinterpret_cast<ControlWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        const auto* block = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (self != nullptr) self->onLine_(std::string(static_cast<const char*>(block->lpData), block->cbData));
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool sendLine(const std::string& line) {
    const HWND control = FindWindowA(kControlClass, nullptr);
    if (control == nullptr) return false;
    COPYDATASTRUCT block{0, static_cast<DWORD>(line.size()), const_cast<char*>(line.data())};
    return SendMessageA(control, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&block)) == 1;
}

Memory memoryOf(const std::string& pid) {
    std::ifstream status("/proc/" + pid + "/status");
    Memory memory;
    for (std::string line; std::getline(status, line);) {
        std::istringstream fields(line);
        std::string name;
        long value = 0;
        fields >> name >> value;
        if (name == "VmRSS:") memory.residentKiB = value;
        if (name == "VmHWM:") memory.peakKiB = value;
    }
    return memory;
}

}  // namespace soak
