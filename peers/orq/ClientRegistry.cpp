#include "ClientRegistry.h"

#include <algorithm>
#include <climits>

namespace orq {

ClientRegistry::Client& ClientRegistry::entry(HWND window) {
    Client& client = clients_[keyOf(window)];
    // Keep the fullest form of the handle that was seen.
    if (client.window == nullptr || reinterpret_cast<UINT_PTR>(window) > 0xFFFF) client.window = window;
    return client;
}

const ClientRegistry::Client* ClientRegistry::find(HWND window) const {
    auto it = clients_.find(keyOf(window));
    return it == clients_.end() ? nullptr : &it->second;
}

void ClientRegistry::announce(HWND window, Transport transport) {
    if (window == nullptr) return;
    entry(window).transport = transport;
}

void ClientRegistry::add(HWND window) {
    if (window != nullptr) entry(window);
}

void ClientRegistry::forget(HWND window) { clients_.erase(keyOf(window)); }

bool ClientRegistry::knows(HWND window) const { return find(window) != nullptr; }

void ClientRegistry::registerRange(HWND window, int device, int start, int end, bool overwrite) {
    if (window == nullptr) return;
    RangeSet& ranges = entry(window).ranges[device];
    if (overwrite) ranges.clear();
    ranges.add(start, end);
}

void ClientRegistry::deregisterRange(HWND window, int device, int start, int end) {
    auto it = clients_.find(keyOf(window));
    if (it == clients_.end()) return;
    auto device_it = it->second.ranges.find(device);
    if (device_it == it->second.ranges.end()) return;
    device_it->second.remove(start, end);
    if (device_it->second.empty()) it->second.ranges.erase(device_it);
}

void ClientRegistry::deregisterDevice(HWND window, int device) {
    auto it = clients_.find(keyOf(window));
    if (it == clients_.end()) return;
    if (device == 0) {
        it->second.ranges.clear();
    } else {
        it->second.ranges.erase(device);
    }
}

std::pair<int, int> ClientRegistry::extent(int device) const {
    bool found = false;
    int lowest = INT_MAX;
    int highest = INT_MIN;
    for (const auto& [key, client] : clients_) {
        auto it = client.ranges.find(device);
        if (it == client.ranges.end() || it->second.empty()) continue;
        found = true;
        lowest = std::min(lowest, it->second.lowest());
        highest = std::max(highest, it->second.highest());
    }
    if (!found) return {0, 0};
    return {lowest, highest};
}

void ClientRegistry::subscribe(HWND window, bool on) {
    if (window == nullptr) return;
    if (on) {
        entry(window).subscribed = true;
    } else if (auto it = clients_.find(keyOf(window)); it != clients_.end()) {
        it->second.subscribed = false;
    }
}

std::vector<ClientAddress> ClientRegistry::registeredFor(int device, int index) const {
    std::vector<ClientAddress> result;
    for (const auto& [key, client] : clients_) {
        auto it = client.ranges.find(device);
        if (it != client.ranges.end() && it->second.contains(index)) result.push_back(addressOf(client));
    }
    return result;
}

std::vector<ClientAddress> ClientRegistry::subscribers() const {
    std::vector<ClientAddress> result;
    for (const auto& [key, client] : clients_) {
        if (client.subscribed) result.push_back(addressOf(client));
    }
    return result;
}

std::vector<ClientAddress> ClientRegistry::all() const {
    std::vector<ClientAddress> result;
    for (const auto& [key, client] : clients_) result.push_back(addressOf(client));
    return result;
}

ClientAddress ClientRegistry::address(HWND window) const {
    const Client* client = find(window);
    return client ? addressOf(*client) : ClientAddress{window, Transport::wm};
}

void ClientRegistry::markStalled(HWND window) {
    if (auto it = clients_.find(keyOf(window)); it != clients_.end()) it->second.stalled = true;
}

void ClientRegistry::heardFrom(HWND window) {
    if (auto it = clients_.find(keyOf(window)); it != clients_.end()) {
        it->second.stalled = false;
        ++it->second.heard;
    }
}

std::uint64_t ClientRegistry::heard(HWND window) const {
    const Client* client = find(window);
    return client != nullptr ? client->heard : 0;
}

bool ClientRegistry::stalled(HWND window) const {
    const Client* client = find(window);
    return client != nullptr && client->stalled;
}

}  // namespace orq
