#include "Liveness.h"

namespace orq {

Liveness::Change Liveness::status(int workstation, bool online, int keepAliveSeconds, DWORD now) {
    const bool was = serving(workstation);
    Hub& hub = hubs_[workstation];
    hub.online = online;
    hub.silent = false;
    hub.heard = now;
    hub.patienceMs = keepAliveSeconds > 0 ? static_cast<DWORD>(keepAliveSeconds) * 1250 : 0;
    if (was == online) return Change::none;
    return online ? Change::online : Change::offline;
}

Liveness::Change Liveness::heard(int workstation, DWORD now) {
    const auto it = hubs_.find(workstation);
    if (it == hubs_.end() || !it->second.online) return Change::none;
    it->second.heard = now;
    if (!it->second.silent) return Change::none;
    it->second.silent = false;
    return Change::online;
}

std::vector<int> Liveness::silent(DWORD now) {
    std::vector<int> gone;
    for (auto& [workstation, hub] : hubs_) {
        if (!hub.online || hub.silent || hub.patienceMs == 0 || now - hub.heard < hub.patienceMs) continue;
        hub.silent = true;
        gone.push_back(workstation);
    }
    return gone;
}

bool Liveness::serving(int workstation) const {
    const auto it = hubs_.find(workstation);
    return it != hubs_.end() && it->second.online && !it->second.silent;
}

DWORD Liveness::msUntilCheck(DWORD now) const {
    DWORD soonest = INFINITE;
    for (const auto& [workstation, hub] : hubs_) {
        if (!serving(workstation) || hub.patienceMs == 0) continue;
        const DWORD waited = now - hub.heard;
        const DWORD left = waited >= hub.patienceMs ? 0 : hub.patienceMs - waited;
        if (left < soonest) soonest = left;
    }
    return soonest;
}

}  // namespace orq
