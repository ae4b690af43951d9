// How an infodriver host behaves.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace infodriver {

struct InfodriverOptions {
    // Windows path of the directory holding the dev_NNN.ini files; empty
    // means the workstation's configuration directory.
    std::string configDirectory;
    // The devices to run; empty runs every infodriver device whose file is
    // found from dev_001.ini up to highestDevice.
    std::vector<int> devices;
    int highestDevice = 999;

    // Answers to the limit queries; 0 means none. The index limit is the
    // device's slot count unless set here.
    LRESULT maxDevices = 0;
    LRESULT maxIndexes = 0;

    // How often the host looks for drivers whose windows are gone.
    DWORD livenessIntervalMs = 200;
    // Least time between two searches for the hub while none is known.
    DWORD hubSearchIntervalMs = 1000;

    // Receives one line per notable event; none by default.
    std::function<void(const std::string&)> log;
};

}  // namespace infodriver
