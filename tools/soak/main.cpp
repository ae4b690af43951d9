// zorv-soak: many clients in several processes against an orq-hub process,
// thousands of registered indexes and a million revertives; checks that every
// client receives exactly what it registered for, in order, and that memory
// and the session's window table come back to their starting size.
#include <CLI/CLI.hpp>
#include <zorvVersion.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Roles.h"
#include "child_process.h"

int main(int argc, char** argv) {
    soak::Parameters parameters;
    int child = -1;
    int cycles = 2;
    CLI::App app{"zorv-soak: client processes against an orq-hub process, checked revertive by revertive"};
    app.set_version_flag("--version", ZORV_VERSION);
    app.add_option("--processes", parameters.processes, "Client processes")->check(CLI::Range(1, 64))->capture_default_str();
    app.add_option("--clients", parameters.clientsPerProcess, "Clients per process")->check(CLI::Range(1, 64))->capture_default_str();
    app.add_option("--destinations", parameters.destinations, "Indexes of each device (router, infodriver)")
        ->check(CLI::Range(1, 30000))
        ->capture_default_str();
    app.add_option("--registrations", parameters.registrations, "Indexes registered by all clients together")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_option("--revertives", parameters.revertives, "Revertives to deliver, all clients together")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_option("--cycles", cycles,
                   "Times the client processes come, get their share of the revertives and leave (the first "
                   "cycle warms the hub up: its memory after the last must be what it was after the first)")
        ->check(CLI::Range(1, 100))
        ->capture_default_str();
    app.add_option("--transport", parameters.transport, "Transport of the clients and of the commands")
        ->check(CLI::IsMember({"wm", "zel"}))
        ->capture_default_str();
    app.add_option("--senders", parameters.senders,
                   "Threads that send each round's commands, each through a client of its own")
        ->check(CLI::Range(1, 16))
        ->capture_default_str();
    app.add_option("--timeout", parameters.timeoutSeconds, "Seconds the whole run may take")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_flag("--deaf", parameters.deaf,
                 "Bad neighbour: after the cycles without, run them again beside a client that stops pumping");
    app.add_flag("--flood", parameters.flood,
                 "Bad neighbour: after the cycles without, run them again beside a process that floods the hub "
                 "with posts");
    app.add_option("--child", child, "Run as client process N (started by the driver)")->group("");
    std::string neighbour;
    app.add_option("--neighbour", neighbour, "Run as a bad neighbour (started by the driver)")
        ->check(CLI::IsMember({"deaf", "flood"}))
        ->group("");
    CLI11_PARSE(app, argc, argv);
    if (parameters.registrations < 2 * parameters.processes * parameters.clientsPerProcess) {
        std::fprintf(stderr, "zorv-soak: --registrations must give each client at least one index of each device\n");
        return 1;
    }

    if (child >= 0) return soak::runClientProcess(parameters, child);
    if (!neighbour.empty()) return soak::runNeighbour(parameters, neighbour);
    // A window session of its own, which the hub and the client processes
    // join: the soak's hub must be the only one its clients find.
    ::setenv("QX_SESSION", ("soak-" + std::to_string(::getpid())).c_str(), 1);
    parameters.revertives = (parameters.revertives + cycles - 1) / cycles;  // per cycle
    return soak::runDriver(parameters, cycles, mp::siblingProgram("zorv-soak"));
}
