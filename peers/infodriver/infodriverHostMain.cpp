// infodriver-host: runs the infodrivers of a facility until one of their
// windows gets WM_CLOSE or the process is interrupted. Drivers find them
// through tessil32.dll or by broadcast; the hub is found by broadcast.
#include <CLI/CLI.hpp>
#include <zorvVersion.h>

#include <atomic>
#include <csignal>
#include <iostream>

#include "InfodriverHost.h"
#include "qxplatform.h"

namespace {

std::atomic<bool> interrupted{false};

void onSignal(int) { interrupted = true; }

}  // namespace

int main(int argc, char** argv) {
    infodriver::InfodriverOptions options;
    bool quiet = false;

    CLI::App app{"Infodriver stand-in: holds the slots of the facility's infodrivers for their drivers"};
    app.set_version_flag("--version", ZORV_VERSION);
    app.add_option("-c,--config", options.configDirectory,
                   "Windows path of the directory holding dev_NNN.ini (default: the workstation's configuration "
                   "directory)");
    app.add_option("-d,--device", options.devices, "Infodriver device to run (repeatable; default: all found)");
    app.add_option("--highest-device", options.highestDevice, "Highest device file number looked for")
        ->default_val(options.highestDevice);
    app.add_option("--max-devices", options.maxDevices, "Answer to 49245 (0: none)");
    app.add_option("--max-indexes", options.maxIndexes, "Answer to 49233 (0: the slot count)");
    app.add_flag("-q,--quiet", quiet, "Do not log events to standard error");
    CLI11_PARSE(app, argc, argv);
    if (!qxplatform::windowsAvailable()) return 1;
    if (!quiet) options.log = [](const std::string& line) { std::cerr << "infodriver: " << line << std::endl; };

    infodriver::InfodriverHost host(options);
    if (!host.start()) {
        std::cerr << "infodriver: no infodriver device found" << std::endl;
        return 1;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    for (int device : host.devices()) {
        std::cout << "infodriver: device " << device << ", window " << reinterpret_cast<void*>(host.window(device))
                  << std::endl;
    }
    while (!host.waitForEnd(200)) {
        if (interrupted) host.stop();
    }
    std::cout << "infodriver: stopped" << std::endl;
    return 0;
}
