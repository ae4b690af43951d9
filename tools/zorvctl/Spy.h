// zorvctl spy: subscribes a window of its own to the hub's traffic and prints
// each line the hub sends, filtered by device and client.
#pragma once

#include <string>

#include "Session.h"

namespace zorvctl {

struct SpyFilter {
    long device = 0;      // 0: every device
    std::string client;   // empty: every client; else the window as spy prints it (0x...)
    unsigned count = 0;   // 0: until interrupted or the timeout
};

int spy(const Options& options, const SpyFilter& filter);

}  // namespace zorvctl
