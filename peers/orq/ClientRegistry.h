// The hub's clients, known by their message windows: how to reach each one,
// the device ranges it registered for, and whether it takes network messages.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "RangeSet.h"

namespace orq {

// How the hub reaches a client: WM_COPYDATA exchanges or the interface library.
enum class Transport { wm, zel };

struct ClientAddress {
    HWND window;
    Transport transport;
};

// Clients are keyed by the low 16 bits of their window, the form in which the
// protocol passes windows; a client first heard of through such a short form
// is reached through it.
class ClientRegistry {
public:
    // 2034 / 2054 with lParam 4: the client and its transport.
    void announce(HWND window, Transport transport);
    // Known from now on (49222, or any registration), with transport wm
    // unless it announced another.
    void add(HWND window);
    // The client leaves: its ranges and its subscription go with it.
    void forget(HWND window);
    bool knows(HWND window) const;

    // overwrite: the range replaces the client's ranges on the device;
    // otherwise it is added to them.
    void registerRange(HWND window, int device, int start, int end, bool overwrite);
    void deregisterRange(HWND window, int device, int start, int end);
    // Device 0 drops every registration of the client.
    void deregisterDevice(HWND window, int device);
    // Lowest and highest index registered for the device by any client;
    // 0 and 0 when none.
    std::pair<int, int> extent(int device) const;

    void subscribe(HWND window, bool on);

    std::vector<ClientAddress> registeredFor(int device, int index) const;
    std::vector<ClientAddress> subscribers() const;
    std::vector<ClientAddress> all() const;
    // The address of any window: its recorded transport, wm when unknown.
    ClientAddress address(HWND window) const;

    // A client that let a delivery time out is skipped until it next talks
    // to the hub.
    void markStalled(HWND window);
    void heardFrom(HWND window);
    bool stalled(HWND window) const;
    // How often the hub has heard from the client: from 1 when it became
    // known, raised by every heardFrom(); 0 for a window it does not know.
    std::uint64_t heard(HWND window) const;

    std::size_t size() const { return clients_.size(); }

private:
    struct Client {
        HWND window = nullptr;
        Transport transport = Transport::wm;
        bool subscribed = false;
        bool stalled = false;
        std::uint64_t heard = 1;
        std::map<int, RangeSet> ranges;  // device -> indexes
    };

    static WORD keyOf(HWND window) { return static_cast<WORD>(reinterpret_cast<UINT_PTR>(window) & 0xFFFF); }
    Client& entry(HWND window);
    const Client* find(HWND window) const;
    static ClientAddress addressOf(const Client& client) { return {client.window, client.transport}; }

    std::map<WORD, Client> clients_;
};

}  // namespace orq
