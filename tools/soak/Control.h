// How the soak's processes talk: the driver owns a message-only window of
// class kControlClass; each client process finds it and sends it its report
// lines as WM_COPYDATA texts. Also each process's memory, from /proc.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace soak {

inline constexpr const char kControlClass[] = "ZorvSoakControl";

// The driver's window: every text a client process sends reaches onLine.
class ControlWindow {
public:
    explicit ControlWindow(std::function<void(const std::string&)> onLine);
    ~ControlWindow();
    ControlWindow(const ControlWindow&) = delete;
    ControlWindow& operator=(const ControlWindow&) = delete;

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    std::function<void(const std::string&)> onLine_;
    HWND window_ = nullptr;
};

// Sends one line to the driver's window; false when there is none.
bool sendLine(const std::string& line);

// Resident and peak resident memory of a process, in KiB (0 when unknown).
struct Memory {
    long residentKiB = 0;
    long peakKiB = 0;
};
Memory memoryOf(const std::string& pid = "self");

}  // namespace soak
