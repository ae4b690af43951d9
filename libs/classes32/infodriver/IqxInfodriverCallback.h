// Receiver of everything a qxInfodriver reports: the infodriver's requests to
// write slots, device messages, redundancy changes and the connection. Text
// arguments live only for the duration of the call.
#pragma once

#include <string>

#include "qxTypes.h"

/// Receiver of everything a qxInfodriver reports. Every operation runs on the
/// driver's thread from its message loop; text arguments live only for the
/// duration of the call. An implementation may destroy the qxInfodriver from
/// inside any of them.
class IqxInfodriverCallback {
public:
    /// The infodriver asks this driver to write `text` into slot `index`; the
    /// driver decides and writes with qxInfodriver::setSlot.
    virtual void slotWrite(int device, int index, const std::string& text) = 0;
    /// A device message from `workstation` with its three texts.
    virtual void deviceMessage(int workstation, int device, const std::string& text, const std::string& second,
                               const std::string& third) = 0;
    /// This driver's redundancy state changed (rx, tx or unknown).
    virtual void redundancyChange(int device, qx::redundancyState state) = 0;
    /// The driver attached to the infodriver.
    virtual void connected(int device) = 0;
    /// The driver left the infodriver, or the infodriver went away.
    virtual void disconnected(int device) = 0;

    /// Last, so that the five operations keep slots 0 to 4.
    virtual ~IqxInfodriverCallback() = default;
};
