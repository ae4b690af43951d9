// zorvctl's own line to the hub, beside the client: a message-only window that
// receives replies and spy lines, and the hub's lookups made through it (the
// device list and lock holders, see peers/orq/HubLookups.h).
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zorvctl {

// A device as the hub's profile describes it.
struct DeviceInfo {
    unsigned number = 0;
    char kind = 'R';  // R router, I infodriver, G GPI unit
    unsigned version = 0;
    unsigned sources = 0;  // routers only
    unsigned size = 0;     // destinations, slots or indexes
    std::string name;
    bool online = true;  // false: its owner, another workstation's hub, is out of reach
};

// "router", "infodriver" or "GPI".
const char* kindWord(char kind);

class HubLink {
public:
    HubLink();
    ~HubLink();
    HubLink(const HubLink&) = delete;
    HubLink& operator=(const HubLink&) = delete;

    HWND window() const { return window_; }
    // The hub's window in this session, looked up at every call; null when none runs.
    static HWND hub();

    // Every device of the hub, in number order.
    std::vector<DeviceInfo> devices();
    // One device; empty when the hub does not have it.
    std::optional<DeviceInfo> device(unsigned number);
    // The workstation holding the lock of a device's index; empty when unlocked.
    std::optional<int> lockHolder(unsigned device, unsigned index);

    // Called with every WM_COPYDATA the hub sends that is not a reply.
    std::function<void(ULONG_PTR code, const std::string& text)> onCopyData;

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Sends a text request; the reply text, or empty when the hub answered 0.
    std::optional<std::string> ask(UINT code, const std::string& text);

    HWND window_ = nullptr;
};

}  // namespace zorvctl
