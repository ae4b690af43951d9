// Which of the facility's other hubs are serving. A hub is online from its
// status "online" until its status says offline (its will, published by the
// broker when its link ends) or until it has been silent for 1.25 times its
// keep-alive: every hub sends a heartbeat four times per keep-alive, so that
// a hung hub, whose link the broker keeps open for longer, is noticed within
// 1.5 times its keep-alive.
#pragma once

#include <windows.h>

#include <map>
#include <vector>

namespace orq {

class Liveness {
public:
    enum class Change { none, online, offline };

    // The hub's status said online or offline; keepAliveSeconds from it.
    Change status(int workstation, bool online, int keepAliveSeconds, DWORD now);
    // A heartbeat from the hub.
    Change heard(int workstation, DWORD now);
    // Hubs that have gone silent by now; each is reported once.
    std::vector<int> silent(DWORD now);
    // Without a broker nobody vouches for anybody.
    void clear() { hubs_.clear(); }

    bool serving(int workstation) const;
    // Milliseconds until the next hub may go silent; INFINITE when none can.
    DWORD msUntilCheck(DWORD now) const;

private:
    struct Hub {
        bool online = false;  // by its status
        bool silent = false;
        DWORD heard = 0;
        DWORD patienceMs = 0;
    };
    std::map<int, Hub> hubs_;
};

}  // namespace orq
