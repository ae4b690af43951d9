// zorvctl: acts on the session's hub from a shell and looks at it. Each
// subcommand connects to the running hub (orq-hub), does one thing, prints
// plain lines (or JSON with --json) and exits with 0 done, 1 usage, 2 no hub
// running (or it went away), 3 refused, 4 timed out.
#include <CLI/CLI.hpp>
#include <zorvVersion.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "Commands.h"
#include "Session.h"
#include "Spy.h"

using namespace zorvctl;

namespace {

using Action = std::function<int(Session&)>;

const std::vector<std::string> kinds{"router", "info", "gpi"};

// Adds DEV START [END] to a subcommand (END defaults to START).
void addRange(CLI::App* command, unsigned& device, unsigned& start, unsigned& end) {
    command->add_option("DEV", device, "Device number")->required();
    command->add_option("START", start, "First index")->required();
    command->add_option("END", end, "Last index (default: START)");
}

// The first word of the command line that is neither an option, nor an
// option's value, nor a subcommand; empty when there is none.
std::string unknownSubcommand(CLI::App& app, int argc, char** argv) {
    if (!app.get_subcommands().empty()) return {};
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--transport" || word == "--timeout" || word == "--workstation" || word == "--config") ++i;
        else if (word.empty() || word[0] != '-') return word;
    }
    return {};
}

// Seconds: a plain number, 0 or more.
std::string secondsError(const std::string& value) {
    char* end = nullptr;
    const double seconds = std::strtod(value.c_str(), &end);
    if (value.empty() || *end != '\0' || !(seconds >= 0) || seconds > 1e6)
        return "'" + value + "' is not a number of seconds (0 to 1000000)";
    return {};
}

int run(int argc, char** argv) {
    Options options;
    CLI::App app{"zorvctl: acts on the facility through the session's hub (orq-hub) and watches its traffic.\n"
                 "Exit codes: 0 done, 1 usage, 2 no hub running (or it went away), 3 refused, 4 timed out."};
    app.set_version_flag("--version", ZORV_VERSION);
    app.require_subcommand(1);
    app.fallthrough();  // the options above may follow the subcommand
    app.add_option("--transport", options.transport, "Transport to the hub")
        ->check(CLI::IsMember({"wm", "zel"}))
        ->capture_default_str();
    app.add_flag("--json", options.json, "One JSON object per line");
    app.add_flag("--hold", options.hold, "Send commands without now: the hub holds them until a flush or for its hold delay (default: act at once)");
    app.add_flag("--read-only", options.readOnly, "Disable the client's writes: commands that change state are refused");
    app.add_option("--timeout", options.timeout, "Seconds to wait (default: 2 for answers, no limit for watching)")
        ->check(CLI::Validator(secondsError, "SECONDS"));
    app.add_option("--workstation", options.workstation, "Act as this workstation (default: the configuration's)")
        ->check(CLI::Range(0, 32767))
        ->type_name("N");
    app.add_option("--config", options.config,
                   "Configuration directory (its orq.ini names the workstation; default: the environment's)")
        ->type_name("DIR");

    Action action;
    unsigned device = 0, index = 0, start = 0, end = 0, database = 0, count = 0;
    int workstation = 0, reference = 0;
    std::string kind, value, mask = ",---", state, dest, source;
    std::vector<std::string> specs;
    std::vector<Crosspoint> crosspoints;
    SpyFilter filter;

    app.add_subcommand("status", "Is a hub running: its window, this session and workstation, limits and devices")
        ->callback([&] { action = status; });
    app.add_subcommand("devices", "Every device of the hub: kind, name and size")->callback([&] { action = devices; });

    auto* cmd = app.add_subcommand("show", "A device as a table: routes with names and locks, slots or GPI states");
    cmd->add_option("DEV", device, "Device")->required();
    cmd->callback([&] { action = [&](Session& s) { return show(s, device); }; });

    cmd = app.add_subcommand("route", "Switch a crosspoint and print the router's revertive");
    cmd->add_option("DEV", device, "Router")->required();
    cmd->add_option("DEST", dest, "Destination: number or name (database 1)")->required();
    cmd->add_option("SRC", source, "Source: number or name (database 0)")->required();
    cmd->add_option("--mask", mask, "Level mask")->capture_default_str();
    cmd->callback([&] { action = [&](Session& s) { return route(s, device, dest, source, mask); }; });

    cmd = app.add_subcommand("salvo", "Switch crosspoints together (held, then sent at once) and print the revertives");
    cmd->add_option("DEV", device, "Router")->required();
    cmd->add_option("DEST=SRC", specs, "Crosspoints: numbers or names")->required();
    cmd->add_option("--mask", mask, "Level mask")->capture_default_str();
    cmd->callback([&] {
        crosspoints.resize(specs.size());
        std::string error;
        for (std::size_t i = 0; i < specs.size(); ++i)
            if (!parseCrosspoint(specs[i], crosspoints[i], error)) throw CLI::ValidationError("DEST=SRC", error);
        action = [&](Session& s) { return salvo(s, device, crosspoints, mask); };
    });

    auto* info = app.add_subcommand("info", "Infodriver slots")->require_subcommand(1);
    cmd = info->add_subcommand("write", "Write a slot and print its revertive");
    cmd->add_option("DEV", device, "Infodriver")->required();
    cmd->add_option("SLOT", index, "Slot")->required();
    cmd->add_option("TEXT", value, "Text")->required();
    cmd->callback([&] { action = [&](Session& s) { return infoWrite(s, device, index, value); }; });

    cmd = app.add_subcommand("gpi", "Switch a GPI and print its revertive");
    cmd->add_option("DEV", device, "GPI unit")->required();
    cmd->add_option("INDEX", index, "Index")->required();
    cmd->add_option("STATE", state, "on or off")->required()->check(CLI::IsMember({"on", "off"}));
    cmd->callback([&] { action = [&](Session& s) { return gpiSwitch(s, device, index, state == "on"); }; });

    for (const bool locked : {true, false}) {
        cmd = app.add_subcommand(locked ? "lock" : "unlock",
                                 locked ? "Lock a range for this workstation" : "Unlock a range");
        cmd->add_option("KIND", kind, "router, info or gpi")->required()->check(CLI::IsMember(kinds));
        addRange(cmd, device, start, end);
        cmd->callback([&, locked] {
            action = [&, locked](Session& s) { return lock(s, kindNamed(kind), device, start, end ? end : start, locked); };
        });
    }
    for (const bool query : {false, true}) {
        cmd = app.add_subcommand(query ? "query" : "poll",
                                 query ? "Ask for a range's revertives, for this client only"
                                       : "Ask for a range's revertives, for every registered client");
        cmd->add_option("KIND", kind, "router, info or gpi")->required()->check(CLI::IsMember(kinds));
        addRange(cmd, device, start, end);
        cmd->callback([&, query] {
            action = [&, query](Session& s) { return poll(s, kindNamed(kind), device, start, end ? end : start, query); };
        });
    }

    cmd = app.add_subcommand("file", "Have the hub re-read a device from its file");
    cmd->add_option("KIND", kind, "router or gpi")->required()->check(CLI::IsMember({"router", "gpi"}));
    cmd->add_option("DEV", device, "Device")->required();
    cmd->callback([&] { action = [&](Session& s) { return file(s, kindNamed(kind), device); }; });

    cmd = app.add_subcommand("profile", "A device's version, sources and size");
    cmd->add_option("DEV", device, "Device")->required();
    cmd->callback([&] { action = [&](Session& s) { return profile(s, device); }; });

    cmd = app.add_subcommand("watch", "Print revertives as they arrive, until Ctrl-C, --count or --timeout");
    cmd->add_option("RANGE", specs, "DEV, DEV:INDEX or DEV:START-END")->required();
    cmd->add_option("--count", count, "Stop after this many revertives");
    cmd->add_flag("--follow", options.follow, "When the hub goes, wait for a new one and watch on (default: exit 2)");
    cmd->callback([&] {
        std::vector<Range> ranges(specs.size());
        std::string error;
        for (std::size_t i = 0; i < specs.size(); ++i)
            if (!parseRange(specs[i], ranges[i], error)) throw CLI::ValidationError("RANGE", error);
        action = [&, ranges](Session& s) { return watch(s, ranges, count); };
    });

    auto* name = app.add_subcommand("name", "Names in device databases")->require_subcommand(1);
    name->add_option("--db", database, "Database")->capture_default_str();
    cmd = name->add_subcommand("get", "Read a name");
    cmd->add_option("DEV", device, "Device")->required();
    cmd->add_option("INDEX", index, "Index")->required();
    cmd->callback([&] { action = [&](Session& s) { return nameGet(s, device, index, database); }; });
    cmd = name->add_subcommand("set", "Rename an entry");
    cmd->add_option("DEV", device, "Device")->required();
    cmd->add_option("INDEX", index, "Index")->required();
    cmd->add_option("NAME", value, "New name")->required();
    cmd->callback([&] { action = [&](Session& s) { return nameSet(s, device, index, database, value); }; });
    cmd = name->add_subcommand("find", "The lowest index holding a name (0: none)");
    cmd->add_option("DEV", device, "Device")->required();
    cmd->add_option("NAME", value, "Name")->required();
    cmd->callback([&] { action = [&](Session& s) { return nameFind(s, device, database, value); }; });

    auto* cache = app.add_subcommand("cache", "The hub's value cache")->require_subcommand(1);
    cmd = cache->add_subcommand("get", "The cached value of an index");
    cmd->add_option("DEV", device, "Device")->required();
    cmd->add_option("INDEX", index, "Index")->required();
    cmd->callback([&] { action = [&](Session& s) { return cacheGet(s, device, index); }; });
    cmd = cache->add_subcommand("test", "Whether every index of a range is cached");
    addRange(cmd, device, start, end);
    cmd->callback([&] { action = [&](Session& s) { return cacheTest(s, device, start, end ? end : start); }; });
    cmd = cache->add_subcommand("index", "The lowest index of a range holding a value (0: none)");
    cmd->add_option("DEV", device, "Device")->required();
    cmd->add_option("START", start, "First index")->required();
    cmd->add_option("END", end, "Last index")->required();
    cmd->add_option("VALUE", value, "Value")->required();
    cmd->callback([&] { action = [&](Session& s) { return cacheIndex(s, device, start, end, value); }; });

    cmd = app.add_subcommand("message", "Send a device message to a workstation's clients (0: all)");
    cmd->add_option("WS", workstation, "Workstation")->required();
    cmd->add_option("DEV", device, "Device")->required();
    cmd->add_option("TEXT", value, "Message")->required();
    cmd->add_option("REF", reference, "Reference")->capture_default_str();
    cmd->callback([&] { action = [&](Session& s) { return message(s, workstation, device, value, reference); }; });

    cmd = app.add_subcommand("config-change", "Send a configuration-change message");
    cmd->add_option("TEXT", value, "Message")->required();
    cmd->callback([&] { action = [&](Session& s) { return configChange(s, value); }; });

    cmd = app.add_subcommand("config-watch", "Print configuration-change and device messages as they arrive");
    cmd->add_option("--count", count, "Stop after this many messages");
    cmd->add_flag("--follow", options.follow, "When the hub goes, wait for a new one and watch on (default: exit 2)");
    cmd->callback([&] { action = [&](Session& s) { return configWatch(s, count); }; });

    app.add_subcommand("flush", "Release the commands the hub holds")->callback([&] { action = flush; });

    cmd = app.add_subcommand("spy", "Print the hub's traffic as it happens, until Ctrl-C, --count or --timeout");
    cmd->add_option("--device", filter.device, "Only traffic about this device");
    cmd->add_option("--client", filter.client, "Only traffic of this client: its window (0x...), process id or program");
    cmd->add_option("--count", filter.count, "Stop after this many lines");
    cmd->add_flag("--handshake", filter.handshake, "Show the connection handshake too");
    cmd->add_flag("--follow", options.follow, "When the hub goes, wait for a new one and spy on (default: exit 2)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (const std::string word = unknownSubcommand(app, argc, argv); !word.empty()) {
            std::fprintf(stderr, "zorvctl: unknown subcommand '%s'; zorvctl --help lists them\n", word.c_str());
            return usage;
        }
        const int code = app.exit(e);
        return code == 0 ? done : usage;
    }
    Configuration configuration;
    if (!useConfiguration(options, configuration)) return usage;
    if (!qxplatform::windowsAvailable()) return noHub;  // no hub can be reached; the reason is on standard error
    if (app.got_subcommand("spy")) return spy(options, filter);
    Session session(options, configuration);
    if (int code = session.connect()) return code;
    return action(session);
}

}  // namespace

int main(int argc, char** argv) { return run(argc, argv); }
