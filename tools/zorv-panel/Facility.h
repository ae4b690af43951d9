// The facility as the panel sees it: the hub's devices, their names, state
// and locks, kept up to date from the client's events, and the actions the
// pages ask for. Every member but snapshot() and connected() runs on the
// client's thread; each change is handed to `publish` as one JSON message.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "Protocol.h"
#include "ZorvClient.h"

namespace zorvpanel {

using ZorvClientLibrary::IpcType;
using ZorvClientLibrary::ZorvClient;

// Devices larger than this are shown up to it: the profile comes from
// another process and is bounded before use.
constexpr std::uint32_t maxShownIndexes = 4096;

struct Device {
    std::uint32_t number = 0;
    char kind = '?';  // R router, I infodriver, G GPI unit, ? not known yet
    std::string name;
    int version = 0;
    std::uint32_t sources = 0;             // routers
    std::uint32_t size = 0;                // destinations, slots or indexes
    std::vector<std::string> sourceNames;  // routers: database 0
    std::vector<std::string> names;        // destinations (database 1), else database 0
    std::vector<int> crosspoints;          // routers: source per destination, -1 not known
    std::vector<std::string> slots;        // infodrivers
    std::vector<int> gpis;                 // GPI units: 1 on, 0 off, -1 not known
    std::vector<int> locks;                // workstation holding each index, -1 none
};

class Facility {
public:
    struct Options {
        IpcType transport = IpcType::zel;
        std::uint32_t highestDevice = 64;  // devices 1..this are looked for
        int workstation = 0;               // ours, shown on our locks
        bool readOnly = false;
    };
    using Publish = std::function<void(std::string message)>;

    Facility(const Options& options, Publish publish);

    // Subscribes to the client's events (on its thread, before connecting).
    void attach(ZorvClient& client);
    // Keeps the connection: notices the hub going and connects again.
    void tick(ZorvClient& client);
    // Carries out a write; the state changes when its revertive comes.
    Outcome apply(ZorvClient& client, const Request& request);

    // The whole facility as one "state" message; from any thread.
    std::string snapshot() const;
    bool connected() const;

private:
    void connect(ZorvClient& client);
    void lost(ZorvClient& client);
    void discover(ZorvClient& client);
    bool complete();  // every device's kind and state known
    Device read(ZorvClient& client, std::uint32_t number, int version, std::uint32_t sources, std::uint32_t size,
                const std::string& name);
    void onRouter(std::uint32_t device, std::uint32_t dest, int source);
    void onInfo(std::uint32_t device, std::uint32_t slot, const std::string& text);
    void onGpi(std::uint32_t device, std::uint32_t index, bool state);
    void onName(ZorvClient& client, std::uint32_t device, std::uint32_t index, int database);
    // The device and index a revertive names, with the kind it shows; null
    // when the panel does not show that index.
    Device* find(std::uint32_t device, std::uint32_t index, char kind);
    Outcome check(const Request& request, const Device*& device) const;
    Outcome lock(ZorvClient& client, const Device& device, std::uint32_t index, bool on);

    Options options_;
    Publish publish_;
    mutable std::mutex lock_;  // the model: written on the client's thread, read by snapshot()
    std::map<std::uint32_t, Device> devices_;
    bool connected_ = false;
    bool disconnected_ = false;  // the client's thread only
};

}  // namespace zorvpanel
