// Enumerations shared by the native clients.
#pragma once

namespace qx {

/// Transport to the peer: window messages or the interface library.
enum ipcType : int { none = 0, wm = 1, zel = 2 };

/// Redundancy mode of a device.
enum redundancyState : int { unknown = 0, rx = 1, tx = 2, forceTx = 3, broken = 5 };

/// Kind of poll a registration asks for (accepted, not sent).
enum pollType : int { UnknownType = 0, IP = 1, RP = 2, GP = 3 };

}  // namespace qx
