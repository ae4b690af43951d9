// orq-hub: runs the hub stand-in as a process of its own, until a client
// closes it (WM_CLOSE) or the process is interrupted (SIGINT, SIGTERM).
// Clients of other processes of the session find it through halvik.dll or the
// discovery broadcasts. One line on standard output says it is ready; a second
// hub with the same window class in the session refuses to start.
#include <CLI/CLI.hpp>
#include <zorvVersion.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <thread>

#include "OrqHub.h"
#include "qxConfig.h"
#include "qxplatform.h"

namespace {

std::atomic<bool> interrupted{false};

// How long the hub may take to stop after SIGINT or SIGTERM, before the
// process ends without waiting for it (a signal is noticed within 50 ms).
constexpr int stopGraceMs = 900;

void onSignal(int) { interrupted = true; }

// Ends the process at once, as a crash would: no cleanup, no word to anybody.
[[noreturn]] void killSelf() {
#ifdef _WIN32
    TerminateProcess(GetCurrentProcess(), 137);
#else
    std::raise(SIGKILL);
#endif
    std::abort();
}

}  // namespace

int main(int argc, char** argv) {
    orq::HubOptions options;
    bool quiet = false;
    bool answer2031 = true;
    bool answer49153 = true;
    std::string databaseChange = "text";
    UINT killOn = 0;

    CLI::App app{"Orq hub stand-in: simulates the facility's devices for zorv clients"};
    app.set_version_flag("--version", ZORV_VERSION);
    app.add_option("-c,--config", options.configDirectory,
                   "Windows path of the directory holding orq.ini and dev_NNN.ini (default: the workstation's "
                   "configuration directory)");
    app.add_option("--class", options.windowClass, "Window class of the hub's window");
    app.add_option("--max-devices", options.maxDevices, "Answer to 49245 (0: none)");
    app.add_option("--max-indexes", options.maxIndexes, "Answer to 49233 (0: none)");
    app.add_option("--max-sources", options.maxSources, "Answer to 49234 (0: none)");
    app.add_option("--max-databases", options.maxDatabases, "Answer to 49243 (0: none; the hub keeps 10)");
    app.add_option("--max-string", options.maxString, "Answer to 49246 (0: none)");
    app.add_option("--max-database-index", options.maxDatabaseIndex, "Answer to 49235 (0: none)");
    app.add_option("--probe-answer", options.probeAnswer, "Answer to the probe 49552");
    app.add_option("--answer-2031", answer2031, "Answer discovery request 2031")->default_val(true);
    app.add_option("--answer-49153", answer49153, "Answer discovery request 49153")->default_val(true);
    app.add_option("--hold-ms", options.holdDelayMs, "How long commands without the now bit are held")
        ->default_val(options.holdDelayMs);
    app.add_option("--client-timeout-ms", options.clientTimeoutMs,
                   "Client deadline: the longest wait for a client to take a delivery or a reply; a client that "
                   "misses it is skipped until it next talks to the hub; at most 900, so that WM_CLOSE acts "
                   "within a second")
        ->check(CLI::Range(1u, 900u))
        ->default_val(options.clientTimeoutMs);
    app.add_option("--highest-device", options.highestDevice, "Highest device file number looked for (0: orq.ini)");
    app.add_option("--database-change", databaseChange, "How name changes are announced")
        ->check(CLI::IsMember({"text", "short", "wide"}));
    app.add_option("--kill-on", killOn,
                   "Test hook: the process kills itself (as SIGKILL would) when a request or message with this "
                   "code arrives, before acting on it");
    app.add_option("--broker", options.federation.broker,
                   "Join the facility's other hubs through this MQTT broker: mqtt://HOST:PORT or mqtts://HOST:PORT");
    app.add_option("--facility", options.federation.facility, "The facility's name: its topics lie below zorv/NAME/");
    app.add_option("--workstation", options.federation.workstation,
                   "This hub's workstation (default: [Network] Workstation of orq.ini)");
    app.add_option("--broker-user", options.federation.user, "User name at the broker");
    app.add_option("--broker-password-file", options.federation.passwordFile,
                   "File whose first line is the password at the broker");
    app.add_option("--broker-ca-file", options.federation.caFile, "CA certificate for a TLS link to the broker");
    app.add_option("--keepalive", options.federation.keepAliveSeconds,
                   "Seconds between keep-alives; the broker declares the hub gone after 1.5 times this")
        ->default_val(options.federation.keepAliveSeconds);
    app.add_flag("-q,--quiet", quiet, "Do not log events to standard error");
    CLI11_PARSE(app, argc, argv);
    if (!qxplatform::windowsAvailable()) return 1;  // the reason is on standard error

    options.record = false;  // nobody reads a process's record, and it would grow for as long as the hub runs
    options.answer2031 = answer2031;
    options.answer49153 = answer49153;
    if (databaseChange == "short") options.databaseChange = orq::DatabaseChangeForm::shortNumeric;
    if (databaseChange == "wide") options.databaseChange = orq::DatabaseChangeForm::wideNumeric;
    if (killOn != 0) options.onReceive = [killOn](UINT id) {
        if (id == killOn) killSelf();
    };
    if (!quiet) options.log = [](const std::string& line) { std::cerr << "orq: " << line << std::endl; };

    const std::string facility =
        options.configDirectory.empty() ? qxConfig::configPath() : options.configDirectory;
    if (!options.configDirectory.empty() &&
        !std::filesystem::is_directory(qxplatform::hostPath(options.configDirectory))) {
        std::cerr << "orq: no facility directory " << options.configDirectory << std::endl;
        return 1;
    }
    if (const HWND running = FindWindowA(options.windowClass.c_str(), nullptr)) {
        std::cerr << "orq: a hub is already running in this session (window " << reinterpret_cast<void*>(running)
                  << "); not starting a second one" << std::endl;
        return 2;
    }
    // Handled from before the window exists: whoever sees the window may stop the hub.
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    orq::OrqHub hub(options);
    if (!hub.start()) {
        std::cerr << "orq: the hub's window could not be created" << std::endl;
        return 1;
    }
    // A hub that a client closed at once has no devices to count any more.
    if (hub.deviceCount() == 0 && !hub.closed()) {
        hub.stop();
        std::cerr << "orq: no devices in " << facility << " (no dev_NNN.ini defines one)" << std::endl;
        return 1;
    }
    std::cout << "orq: ready, hub window " << reinterpret_cast<void*>(hub.window()) << ", " << hub.deviceCount()
              << " devices" << std::endl;

    while (!hub.waitForEnd(50)) {
        if (!interrupted) continue;
        // The hub stops within one client deadline; whatever the clients do,
        // the process ends within a second of the signal.
        std::thread([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(stopGraceMs));
            std::cout << "orq: stopped while a client held the hub" << std::endl;
            std::_Exit(0);
        }).detach();
        hub.stop();
    }
    std::cout << "orq: " << (hub.closed() ? "closed by a client" : "stopped") << std::endl;
    return 0;
}
