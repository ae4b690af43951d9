// Receiver of everything a qxClient reports: its connection changes and what
// the hub sends. Text arguments live only for the duration of the call.
#pragma once

#include <string>

#include "qxTypes.h"

/// Receiver of everything a qxClient reports: its connection changes and
/// what the hub sends. Every operation runs on the client's thread from its
/// message loop; text arguments live only for the duration of the call. An
/// implementation may destroy the client from inside any of them.
class IqxClientCallback {
public:
    /// The client found the hub and announced itself.
    virtual void connected() = 0;
    /// The client left the hub, or the hub said it is going away.
    virtual void disconnected() = 0;
    /// Slot `slot` of infodriver `device` now holds `value`.
    virtual void infoRevertive(int device, int slot, const std::string& value) = 0;
    /// Destination `destination` of router `device` is now on `source`.
    virtual void routerRevertive(int device, int destination, int source) = 0;
    /// GPI `index` of `device` is now on (`state` true) or off.
    virtual void gpiRevertive(int device, int index, bool state) = 0;
    /// Name `index` of database `database` of `device` changed.
    virtual void databaseChange(int device, int index, int database) = 0;
    /// The redundancy mode of `device` (rx, tx or broken).
    virtual void deviceMode(int device, int index, qx::redundancyState state) = 0;
    /// A device message from `workstation` about `device`.
    virtual void deviceMessage(int workstation, int device, const std::string& message, int reference) = 0;
    /// Not raised by this client; implementations still provide it.
    virtual void pollError(int device, int slot) = 0;
    /// A configuration-change message from another client.
    virtual void configChangeMessage(const std::string& message) = 0;

    /// Last, so that the ten operations keep slots 0 to 9.
    virtual ~IqxClientCallback() = default;
};
