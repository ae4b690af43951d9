// The lookups of HubLookups.h.
#include "HubCore.h"
#include "HubLookups.h"
#include "zorvText.h"

#include <cstdlib>

namespace orq {

LRESULT HubCore::lookup(Request& request) {
    const std::string text = request.textAt(0);
    char* rest = nullptr;
    const long first = std::strtol(text.c_str(), &rest, 10);
    if (request.code == deviceListRequest) {
        for (const int number : devices_.numbers()) {
            if (number <= first) continue;
            // A mirrored device whose owner is out of reach says so after its
            // profile, so that tools can show it.
            const std::string profile = devices_.find(number)->profile();
            request.writeText(0, deviceOnline(number) ? profile : profile + " offline");
            return 1;
        }
        return 0;
    }
    const Device* device = devices_.find(static_cast<int>(first));
    const long index = std::strtol(rest, nullptr, 10);
    if (device == nullptr || index < 1 || index > device->size) return 0;
    const auto lock = device->locks.find(static_cast<int>(index));
    request.writeText(0, lock == device->locks.end() ? std::string() : formatText("%d", lock->second));
    return 1;
}

}  // namespace orq
