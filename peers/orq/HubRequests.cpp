// Requests that arrive with a block: commands, device profile, registration
// records, value cache, database names and configuration-change messages.
#include "HubCore.h"
#include "HubLookups.h"

#include <algorithm>

#include "zorvMessages.h"
#include "decodeZORVString.h"
#include "zorvText.h"

namespace orq {

namespace {

using namespace zorvmsg;

constexpr DWORD databaseOneFlag = 0x8000;

}  // namespace

LRESULT HubCore::handleRequest(Request& request) {
    if (request.requester != nullptr) clients_.heardFrom(request.requester);
    if (request.block == nullptr) {
        log(formatText("numeric request %u ignored", request.code));
        return 0;
    }
    switch (request.code) {
    case routerCommand:
    case infodriverCommand:
    case gpiCommand:
    case deviceMessageCommand:
    case nameChange: return command(request);
    case profileRequest: return deviceProfile(request);
    case registerShort:
    case registerLong:
    case deregisterShort:
    case deregisterLong: return registration(request);
    case cacheIndexOf:
    case cacheRead:
    case cacheTestLong: return cacheRequest(request);
    case nameReadShort:
    case nameReadLong:
    case nameFindText:
    case nameFindShort:
    case nameFindLong: return nameRequest(request);
    case configChangeIn: return configChange(request);
    case infodriverChanged: return slotSetByInfodriver(request);
    case deviceListRequest:
    case lockHolderRequest: return lookup(request);
    default: log(formatText("unknown request %u", request.code)); return 0;
    }
}

LRESULT HubCore::deviceProfile(Request& request) {
    const Device* device = devices_.find(static_cast<int>(request.parameter));
    if (device == nullptr) return 0;  // the block stays empty
    request.writeText(0, device->profile());
    return 1;
}

LRESULT HubCore::registration(const Request& request) {
    // The parameter names the client by its window.
    const HWND client = reinterpret_cast<HWND>(static_cast<UINT_PTR>(request.parameter));
    clients_.heardFrom(client);
    switch (request.code) {
    case registerShort: {
        const DWORD first = request.u16At(0);
        return registerRange(client, static_cast<int>(first & 0x7FFF), static_cast<int>(request.u16At(2)),
                             static_cast<int>(request.u16At(4)), (first & 0x8000) == 0);
    }
    case registerLong:
        return registerRange(client, static_cast<int>(request.u32At(0)), static_cast<int>(request.u32At(4)),
                             static_cast<int>(request.u32At(8)), request.u32At(12) != 0);
    case deregisterShort:
        clients_.deregisterRange(client, static_cast<int>(request.u16At(0)), static_cast<int>(request.u16At(2)),
                                 static_cast<int>(request.u16At(4)));
        break;
    case deregisterLong:
        clients_.deregisterRange(client, static_cast<int>(request.u32At(0)), static_cast<int>(request.u32At(4)),
                                 static_cast<int>(request.u32At(8)));
        break;
    default: return 0;
    }
    return 1;
}

// Only indexes the hub has are registered, for windows that exist, so that
// what it keeps is bounded by its devices and the session's windows: a range
// is cut to the device's indexes, and one of a device it does not have, with
// none of its indexes, or for no window, is refused.
LRESULT HubCore::registerRange(HWND client, int device, int start, int end, bool overwrite) {
    const Device* found = devices_.find(device);
    const int first = found ? std::max(start, 1) : 0;
    const int last = found ? std::min(end, found->size) : 0;
    if (found == nullptr || first > last || !IsWindow(client)) {
        log(formatText("registration of %p for device %d, %d to %d refused: no such device, indexes or window",
                       static_cast<void*>(client), device, start, end));
        return 0;
    }
    clients_.registerRange(client, device, first, last, overwrite);
    return 1;
}

LRESULT HubCore::cacheRequest(Request& request) {
    if (request.code == cacheTestLong) {
        return cache_.covers(static_cast<int>(request.u32At(0)), static_cast<int>(request.u32At(4)),
                             static_cast<int>(request.u32At(8)))
                   ? 1
                   : 0;
    }
    const decodeZORVString fields(request.textAt(0));
    const int device = wireToInt(fields[1]);
    if (request.code == cacheIndexOf) {
        if (std::string(fields[0]) != "DI") return 0;
        return cache_.indexOf(device, wireToInt(fields[2]), wireToInt(fields[3]), fields[4]);
    }
    if (std::string(fields[0]) != "DG") return 0;
    const std::string* value = cache_.find(device, wireToInt(fields[2]));
    if (value == nullptr) return 0;  // a miss leaves the request in the block
    request.writeText(0, *value);
    return 1;
}

LRESULT HubCore::nameRequest(Request& request) {
    switch (request.code) {
    case nameReadShort: {
        const auto name = names_.name(static_cast<int>(request.u16At(0)), static_cast<int>(request.u16At(2)),
                                      static_cast<int>(request.u16At(4)));
        if (!name) return 0;  // unknown: the block stays as it came
        request.writeText(0, *name);
        return 1;
    }
    case nameReadLong: {
        const auto name = names_.name(static_cast<int>(request.u32At(0)), static_cast<int>(request.u32At(4)),
                                      static_cast<int>(request.u32At(8)));
        if (!name) return 0;
        request.writeText(16, *name);
        return 1;
    }
    case nameFindText:
        return names_.indexOf(static_cast<int>(request.parameter & 0x7FFF),
                              (request.parameter & databaseOneFlag) != 0 ? 1 : 0, request.textAt(0));
    case nameFindShort:
        return names_.indexOf(static_cast<int>(request.u16At(0)), static_cast<int>(request.u16At(2)),
                              request.textAt(8));
    case nameFindLong:
        return names_.indexOf(static_cast<int>(request.u32At(0)), static_cast<int>(request.u32At(4)),
                              request.textAt(20));
    default: return 0;
    }
}

LRESULT HubCore::configChange(const Request& request) {
    std::string text = request.textAt(0);
    if (text.size() > request.parameter) text.resize(request.parameter);
    for (const ClientAddress& client : clients_.subscribers()) sendText(client, configChangeOut, text);
    if (federation_) federation_->configChange(text);
    return 1;
}

}  // namespace orq
