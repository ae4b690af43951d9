// The soak's two roles: the driver (the program as started) and a client
// process (the same program with --child).
#pragma once

#include "Plan.h"

#include <string>

namespace soak {

// Starts the hub, then `cycles` times the client processes, drives every
// round, checks and prints the figures; 0 when every check held.
int runDriver(const Parameters& parameters, int cycles, const std::string& program);

// One client process: connects its clients, registers their ranges, checks
// every revertive and reports to the driver; 0 when every check held.
int runClientProcess(const Parameters& parameters, int process);

// A bad neighbour (--neighbour deaf|flood, started by the driver): a client
// that stops pumping, or a process that floods the hub with posts.
int runNeighbour(const Parameters& parameters, const std::string& kind);

}  // namespace soak
