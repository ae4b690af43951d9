// Receiver of everything a qxInfodriver reports: the infodriver's requests to
// write slots, device messages, redundancy changes and the connection. Text
// arguments live only for the duration of the call.
#pragma once

#include <string>

#include "qxTypes.h"

class IqxInfodriverCallback {
public:
    virtual void slotWrite(int device, int index, const std::string& text) = 0;
    virtual void deviceMessage(int workstation, int device, const std::string& text, const std::string& second,
                               const std::string& third) = 0;
    virtual void redundancyChange(int device, qx::redundancyState state) = 0;
    virtual void connected(int device) = 0;
    virtual void disconnected(int device) = 0;

    // Last, so that the five operations keep slots 0 to 4.
    virtual ~IqxInfodriverCallback() = default;
};
