// Spies: windows, of any process of the session, that asked to see the hub's
// traffic (zorvctl spy). The hub tells them every request and plain message
// it receives and every text it sends, one line each, sent from its loop like
// its deliveries. With nobody spying nothing is formatted or kept.
//
// A line is five fields separated by tabs: direction ("in", "msg" or "out"),
// the client's window as 0x-hex (0 when the transport names none), the message
// or request code, the device (0 when the traffic names none) and the text or
// the decoded record.
#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

namespace orq {

struct Delivery;

inline constexpr UINT spySubscribe = 49320;    // wParam: the spy's window
inline constexpr UINT spyUnsubscribe = 49321;  // wParam: the spy's window
inline constexpr UINT spyLine = 49322;         // the code of a line sent to a spy (WM_COPYDATA)

class HubSpy {
public:
    // Handles the subscription messages; false for every other message.
    bool handle(UINT message, WPARAM wParam);
    bool pending() const { return !lines_.empty(); }

    void request(UINT code, DWORD parameter, const void* block, std::size_t size, HWND requester);
    void message(UINT message, WPARAM wParam, LPARAM lParam);
    void delivery(const Delivery& delivery);
    // Sends the queued lines to every spy; a spy that does not take one is dropped.
    void flush(HWND hub);

private:
    void add(const char* direction, HWND client, UINT code, long device, const std::string& text);

    std::vector<HWND> spies_;
    std::deque<std::string> lines_;
};

}  // namespace orq
