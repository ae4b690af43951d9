// The infodriver loop of the demo: an infodriver backs the hub's infodriver
// device, a small driver stamps every value written to it, and a client
// sees the stamped value come back.
#pragma once

#include <string>

// Runs the loop against the hub that is running with the facility in
// `facilityDirectory`; true when every revertive arrived.
bool runInfodriverDemo(const std::string& facilityDirectory, int device);
