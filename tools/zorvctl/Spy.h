// zorvctl spy: subscribes a window of its own to the hub's traffic and prints
// each line the hub sends, with the code named and the client named by
// program, process id and workstation, filtered by device and client.
#pragma once

#include <string>

#include "Session.h"

namespace zorvctl {

struct SpyFilter {
    long device = 0;         // 0: every device
    std::string client;      // empty: every client; else its window (0x...), process id or program
    unsigned count = 0;      // 0: until interrupted or the timeout
    bool handshake = false;  // show the connection handshake too
};

int spy(const Options& options, const SpyFilter& filter);

// The name of a message or request code, from the one table of them; empty
// for a code the table does not hold.
std::string codeName(unsigned code);

}  // namespace zorvctl
