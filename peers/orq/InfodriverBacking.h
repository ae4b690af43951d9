// The hub's link to the infodriver stand-in: an infodriver device of the hub
// is backed by a running infodriver of the same device number, found through
// tessil32.dll. Writes are forwarded to it (its tx driver decides them) and
// its slots are read for polls and queries; it tells the hub about every
// slot it sets (message 2730), which the hub reports as revertives.
#pragma once

#include <windows.h>

#include <string>

namespace orq {

class InfodriverBacking {
public:
    InfodriverBacking() = default;
    ~InfodriverBacking();
    InfodriverBacking(const InfodriverBacking&) = delete;
    InfodriverBacking& operator=(const InfodriverBacking&) = delete;

    // timeoutMs: the longest wait for an infodriver to take a write or a read.
    void attach(HWND hub, DWORD timeoutMs) {
        hub_ = hub;
        timeoutMs_ = timeoutMs;
    }
    // The window of the infodriver backing the device, or null. An infodriver
    // that missed the deadline backs nothing until it next talks to the hub.
    HWND find(int device);
    void heardFrom(HWND infodriver) {
        if (infodriver != nullptr && (reinterpret_cast<UINT_PTR>(infodriver) & 0xFFFF) ==
                                         (reinterpret_cast<UINT_PTR>(stalled_) & 0xFFFF))
            stalled_ = nullptr;
    }
    // Hands a write to the infodriver; false when none backs the device.
    bool forwardWrite(int device, int slot, const std::string& text, int workstation);
    // Reads a slot from the infodriver; false when none backs the device.
    bool readSlot(int device, int slot, std::string& text);

private:
    using InfoHwndEntry = HWND (*)(int);

    // Marks the infodriver stalled when the send just made to it timed out.
    void noteTimeout(HWND infodriver);

    HWND hub_ = nullptr;
    DWORD timeoutMs_ = INFINITE;
    HWND stalled_ = nullptr;
    HMODULE tessil_ = nullptr;
    InfoHwndEntry infoHwnd_ = nullptr;
    bool bound_ = false;
};

}  // namespace orq
