// What the hub asks of its link to the facility's other hubs. The hub holds
// one only when it was given a broker and this build has broker support;
// without one it serves its own workstation alone, as it always did.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace orq {

struct Command;
struct Device;
struct HubOptions;
class HubCore;

// Posted to the hub's window when the link has news for the hub's thread;
// the hub's loop then calls pump().
constexpr UINT federationWake = WM_APP + 0x73;

class FederationLink {
public:
    virtual ~FederationLink() = default;

    // On the hub's thread: handles what arrived from the broker and the
    // timed work (heartbeats, silent hubs).
    virtual void pump() = 0;
    // How long the hub's loop may wait before pump() has timed work.
    virtual DWORD msUntilWork() const = 0;

    // A command for a device another workstation owns is sent to the owner,
    // or refused with a log line (no broker, owner offline): true either way.
    // False: the hub acts on it itself (its own devices, polls, queries).
    virtual bool forward(const Command& command) = 0;

    // The owner tells the other hubs: an index was reported, a device's
    // locks changed, a name changed, a device message or a configuration
    // change was sent.
    virtual void stateReported(const Device& device, int index) = 0;
    virtual void locksChanged(const Device& device) = 0;
    virtual void nameChanged(int device, int database, int index, const std::string& name) = 0;
    virtual void deviceMessage(int target, const std::string& text) = 0;
    virtual void configChange(const std::string& text) = 0;

    // Owned by another workstation.
    virtual bool remote(int device) const = 0;
    // Served: the hub's own devices always, remote ones while their owner is
    // online and the broker is reachable.
    virtual bool online(int device) const = 0;
};

// The link the options ask for, connecting in the background; none without
// a broker, or when the settings are wrong or the build has no broker
// support (each said in the hub's log).
std::unique_ptr<FederationLink> makeFederation(const HubOptions& options, HubCore& hub, HWND window);

}  // namespace orq
