// Receiver of everything a qxClient reports: its connection changes and what
// the hub sends. Text arguments live only for the duration of the call.
#pragma once

#include <string>

#include "qxTypes.h"

class IqxClientCallback {
public:
    virtual void connected() = 0;
    virtual void disconnected() = 0;
    virtual void infoRevertive(int device, int slot, const std::string& value) = 0;
    virtual void routerRevertive(int device, int destination, int source) = 0;
    virtual void gpiRevertive(int device, int index, bool state) = 0;
    virtual void databaseChange(int device, int index, int database) = 0;
    virtual void deviceMode(int device, int index, qx::redundancyState state) = 0;
    virtual void deviceMessage(int workstation, int device, const std::string& message, int reference) = 0;
    virtual void pollError(int device, int slot) = 0;
    virtual void configChangeMessage(const std::string& message) = 0;

    // Last, so that the ten operations keep slots 0 to 9.
    virtual ~IqxClientCallback() = default;
};
