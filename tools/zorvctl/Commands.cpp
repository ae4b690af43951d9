#include "Commands.h"

#include <cstdio>
#include <cstdlib>

#include "orqWindowClass.h"
#include "qxConfig.h"

namespace zorvctl {

using namespace ZorvClientLibrary;

namespace {

constexpr double answerSeconds = 2;  // default wait for a revertive or a reply

const char* kindName(Kind kind) { return kind == Kind::router ? "router" : kind == Kind::info ? "info" : "gpi"; }

std::string span(unsigned start, unsigned end) {
    return start == end ? std::to_string(start) : std::to_string(start) + "-" + std::to_string(end);
}

// The number of indexes the hub gives the device (destinations, slots or
// indexes); 0 when it does not know the device.
unsigned deviceSize(Session& s, unsigned device) {
    int version = 0;
    uint sources = 0, size = 0;
    s.client().deviceProfile(device, version, sources, size);
    return size;
}

int unknownDevice(unsigned device) {
    std::fprintf(stderr, "zorvctl: the hub does not know device %u\n", device);
    return refused;
}

void print(const Session& s, const Revertive& r) {
    if (r.kind == 'R') printRouter(s.out(), r.device, r.index, r.source);
    if (r.kind == 'I') printInfo(s.out(), r.device, r.index, r.value);
    if (r.kind == 'G') printGpi(s.out(), r.device, r.index, r.state);
}

// Waits for the revertive of the index a command changed and prints it; a
// revertive that does not show the change means the hub refused it (the
// index is locked by another workstation).
int confirm(Session& s, char kind, unsigned device, unsigned index, const std::function<bool(const Revertive&)>& changed) {
    const Revertive* seen = nullptr;
    const bool arrived = s.waitUntil(
        [&] {
            for (const Revertive& r : s.revertives)
                if (r.kind == kind && r.device == device && r.index == index) seen = &r;
            return seen != nullptr;
        },
        s.timeout(answerSeconds));
    if (int code = s.traced()) return code;
    if (!arrived) {
        std::fprintf(stderr, "zorvctl: no revertive from the hub in time\n");
        return timedOut;
    }
    print(s, *seen);
    if (changed(*seen)) return done;
    std::fprintf(stderr, "zorvctl: refused: the index is locked by another workstation\n");
    return refused;
}

// Prints a command held by the hub until flushed.
int held(Session& s, const std::string& what) {
    if (int code = s.traced()) return code;
    s.out().line(what + " held", {text("result", "held"), text("command", what)});
    return done;
}

bool digitsOnly(const std::string& text) {
    return !text.empty() && text.size() < 10 && text.find_first_not_of("0123456789") == std::string::npos;
}

// Waits for count revertives (0: until the timeout or an interrupt).
int collect(Session& s, std::size_t count, double seconds) {
    const bool reached = s.waitUntil([&] { return count != 0 && s.revertives.size() >= count; }, seconds);
    if (int code = s.traced()) return code;
    if (count != 0 && !reached && !interrupted()) {
        std::fprintf(stderr, "zorvctl: %zu of %zu revertives in time\n", s.revertives.size(), count);
        return timedOut;
    }
    return done;
}

}  // namespace

Kind kindNamed(const std::string& name) { return name == "router" ? Kind::router : name == "info" ? Kind::info : Kind::gpi; }

bool parseRange(const std::string& text, Range& range, std::string& error) {
    const std::size_t colon = text.find(':');
    const std::string device = text.substr(0, colon);
    std::string start = colon == std::string::npos ? "" : text.substr(colon + 1);
    std::string end;
    if (const std::size_t dash = start.find('-'); dash != std::string::npos) {
        end = start.substr(dash + 1);
        start.resize(dash);
    }
    const bool endGiven = text.find('-', colon == std::string::npos ? text.size() : colon) != std::string::npos;
    if (!digitsOnly(device) || (colon != std::string::npos && !digitsOnly(start)) || (endGiven && !digitsOnly(end))) {
        error = "'" + text + "' is not DEV[:START[-END]] with positive numbers";
        return false;
    }
    range.device = static_cast<unsigned>(std::strtoul(device.c_str(), nullptr, 10));
    range.start = start.empty() ? 1 : static_cast<unsigned>(std::strtoul(start.c_str(), nullptr, 10));
    range.end = endGiven ? static_cast<unsigned>(std::strtoul(end.c_str(), nullptr, 10)) : start.empty() ? 0 : range.start;
    if (range.device == 0 || range.start == 0) {
        error = "'" + text + "': devices and indexes count from 1";
        return false;
    }
    if (range.end != 0 && range.end < range.start) {
        error = "'" + text + "': the range is backwards";
        return false;
    }
    return true;
}

int status(Session& s) {
    ZorvClient& c = s.client();
    const HWND hub = FindWindowA(orqWindowClass, nullptr);
    char window[32];
    std::snprintf(window, sizeof window, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hub)));
    const int workstation = qxConfig::workstation();
    s.out().line(std::string("hub running, window ") + window + ", transport " + s.options().transport +
                     ", workstation " + std::to_string(workstation),
                 {text("result", "status"), text("window", window), text("transport", s.options().transport),
                  num("workstation", workstation)});
    s.out().line("limits: devices " + std::to_string(c.maxDevices()) + ", sources " + std::to_string(c.maxSources()) +
                     ", indexes " + std::to_string(c.maxIndexes()) + ", databases " + std::to_string(c.maxDatabases()) +
                     ", string " + std::to_string(c.maxString()),
                 {text("result", "limits"), num("devices", c.maxDevices()), num("sources", c.maxSources()),
                  num("indexes", c.maxIndexes()), num("databases", c.maxDatabases()), num("string", c.maxString())});
    return done;
}

int route(Session& s, unsigned device, unsigned dest, int source, const std::string& mask) {
    if (int code = s.writable()) return code;
    const bool now = !s.options().hold;
    if (now) s.client().revertiveRegister(device, dest, dest);
    if (int code = s.traced()) return code;
    s.client().routerCrosspoint(device, dest, source, String::fromUtf8(mask), now);
    if (!now) return held(s, "router " + std::to_string(device) + " dest " + std::to_string(dest) + " <- src " +
                                 std::to_string(source));
    return confirm(s, 'R', device, dest, [source](const Revertive& r) { return r.source == source; });
}

int infoWrite(Session& s, unsigned device, unsigned slot, const std::string& value) {
    if (int code = s.writable()) return code;
    if (int code = s.fitsHub(value)) return code;
    const bool now = !s.options().hold;
    if (now) s.client().revertiveRegister(device, slot, slot);
    if (int code = s.traced()) return code;
    s.client().infoWrite(device, slot, String::fromUtf8(value), now);
    if (!now) return held(s, "info " + std::to_string(device) + " slot " + std::to_string(slot) + " = '" + value + "'");
    return confirm(s, 'I', device, slot, [&value](const Revertive& r) { return r.value == value; });
}

int gpiSwitch(Session& s, unsigned device, unsigned index, bool state) {
    if (int code = s.writable()) return code;
    const bool now = !s.options().hold;
    if (now) s.client().revertiveRegister(device, index, index);
    if (int code = s.traced()) return code;
    s.client().gpiSwitch(device, index, state, now);
    if (!now) return held(s, "gpi " + std::to_string(device) + " index " + std::to_string(index) + (state ? " on" : " off"));
    return confirm(s, 'G', device, index, [state](const Revertive& r) { return r.state == state; });
}

int lock(Session& s, Kind kind, unsigned device, unsigned start, unsigned end, bool locked) {
    if (int code = s.writable()) return code;
    const bool now = !s.options().hold;
    ZorvClient& c = s.client();
    if (kind == Kind::router) c.routerLock(device, start, end, locked, now);
    if (kind == Kind::info) c.infoLock(device, start, end, locked, now);
    if (kind == Kind::gpi) c.gpiLock(device, start, end, locked, now);
    if (int code = s.traced()) return code;
    const std::string what = std::string(kindName(kind)) + " " + std::to_string(device) + " " + span(start, end);
    s.out().line(what + (locked ? " locked" : " unlocked") + (now ? "" : " held"),
                 {text("result", locked ? "locked" : "unlocked"), text("kind", kindName(kind)), num("device", device),
                  num("start", start), num("end", end), num("held", now ? 0 : 1)});
    return done;
}

int poll(Session& s, Kind kind, unsigned device, unsigned start, unsigned end, bool query) {
    const unsigned size = deviceSize(s, device);
    if (size == 0) return unknownDevice(device);
    ZorvClient& c = s.client();
    s.echo = true;
    // Registered for a query too: through zel the hub cannot tell who asked,
    // and a query reaches the registered clients as a poll does.
    c.revertiveRegister(device, start, end);
    if (kind == Kind::router) query ? c.routerQuery(device, start, end, true) : c.routerPoll(device, start, end, true);
    if (kind == Kind::info) query ? c.infoQuery(device, start, end, true) : c.infoPoll(device, start, end, true);
    if (kind == Kind::gpi) query ? c.gpiQuery(device, start, end, true) : c.gpiPoll(device, start, end, true);
    if (int code = s.traced()) return code;
    const unsigned last = std::min(end, size);
    return collect(s, last >= start ? last - start + 1 : 0, s.timeout(answerSeconds));
}

int file(Session& s, Kind kind, unsigned device) {
    if (kind == Kind::info) {
        std::fprintf(stderr, "zorvctl: the client re-reads router and gpi devices only\n");
        return usage;
    }
    kind == Kind::router ? s.client().routerFile(device) : s.client().gpiFile(device);
    if (int code = s.traced()) return code;
    s.out().line(std::string(kindName(kind)) + " " + std::to_string(device) + " re-read from its file",
                 {text("result", "file"), text("kind", kindName(kind)), num("device", device)});
    return done;
}

int profile(Session& s, unsigned device) {
    int version = 0;
    uint sources = 0, size = 0;
    s.client().deviceProfile(device, version, sources, size);
    if (int code = s.traced()) return code;
    if (version == 0 && sources == 0 && size == 0) return unknownDevice(device);
    s.out().line("device " + std::to_string(device) + " version " + std::to_string(version) + ", sources " +
                     std::to_string(sources) + ", size " + std::to_string(size),
                 {text("result", "profile"), num("device", device), num("version", version), num("sources", sources),
                  num("size", size)});
    return done;
}

int watch(Session& s, const std::vector<Range>& ranges, unsigned count) {
    for (const Range& range : ranges) {
        unsigned end = range.end;
        if (end == 0 && (end = deviceSize(s, range.device)) == 0) return unknownDevice(range.device);
        s.client().revertiveRegister(range.device, range.start, end, false);
    }
    if (int code = s.traced()) return code;
    s.echo = true;
    catchInterrupt();
    std::fprintf(stderr, "zorvctl: watching; Ctrl-C ends\n");  // registered: a script may act now
    return collect(s, count, s.timeout(0));
}

int nameGet(Session& s, unsigned device, unsigned index, unsigned database) {
    String name;
    s.client().databaseName(device, index, database, name);
    if (int code = s.traced()) return code;
    const std::string value = name.toUtf8();
    s.out().line("name " + std::to_string(device) + " " + std::to_string(index) + " db " + std::to_string(database) +
                     " = '" + value + "'",
                 {text("result", "name"), num("device", device), num("index", index), num("database", database),
                  text("name", value)});
    return done;
}

int nameSet(Session& s, unsigned device, unsigned index, unsigned database, const std::string& name) {
    if (int code = s.writable()) return code;
    if (int code = s.fitsHub(name)) return code;
    s.client().databaseModify(device, index, database, String::fromUtf8(name));
    if (int code = s.traced()) return code;
    s.out().line("name " + std::to_string(device) + " " + std::to_string(index) + " db " + std::to_string(database) +
                     " set to '" + name + "'",
                 {text("result", "name set"), num("device", device), num("index", index), num("database", database),
                  text("name", name)});
    return done;
}

int nameFind(Session& s, unsigned device, unsigned database, const std::string& name) {
    if (int code = s.fitsHub(name)) return code;
    const int index = s.client().databaseIndex(device, database, String::fromUtf8(name));
    if (int code = s.traced()) return code;
    s.out().line("name " + std::to_string(device) + " db " + std::to_string(database) + " '" + name + "' at " +
                     std::to_string(index),
                 {text("result", "name found"), num("device", device), num("database", database), text("name", name),
                  num("index", index)});
    return done;
}

int cacheGet(Session& s, unsigned device, unsigned index) {
    String value;
    s.client().cacheValue(device, index, value);
    if (int code = s.traced()) return code;
    s.out().line("cache " + std::to_string(device) + " " + std::to_string(index) + " = '" + value.toUtf8() + "'",
                 {text("result", "cache"), num("device", device), num("index", index), text("value", value.toUtf8())});
    return done;
}

int cacheTest(Session& s, unsigned device, unsigned start, unsigned end) {
    const bool cached = s.client().cacheTest(device, start, end);
    if (int code = s.traced()) return code;
    s.out().line("cache " + std::to_string(device) + " " + span(start, end) + (cached ? " cached" : " not cached"),
                 {text("result", "cache test"), num("device", device), num("start", start), num("end", end),
                  num("cached", cached ? 1 : 0)});
    return done;
}

int cacheIndex(Session& s, unsigned device, unsigned start, unsigned end, const std::string& value) {
    if (int code = s.fitsHub(value)) return code;
    const uint index = s.client().cacheIndex(device, start, end, String::fromUtf8(value));
    if (int code = s.traced()) return code;
    s.out().line("cache " + std::to_string(device) + " " + span(start, end) + " '" + value + "' at " +
                     std::to_string(index),
                 {text("result", "cache index"), num("device", device), num("start", start), num("end", end),
                  text("value", value), num("index", index)});
    return done;
}

int message(Session& s, int workstation, unsigned device, const std::string& body, int reference) {
    if (int code = s.fitsHub(body)) return code;
    s.client().deviceMessage(workstation, device, String::fromUtf8(body), reference);
    if (int code = s.traced()) return code;
    s.out().line("message to workstation " + std::to_string(workstation) + " device " + std::to_string(device) + " sent",
                 {text("result", "message sent"), num("workstation", workstation), num("device", device),
                  text("text", body), num("reference", reference)});
    return done;
}

int configChange(Session& s, const std::string& body) {
    if (int code = s.fitsHub(body)) return code;
    s.client().sendConfigChangeMessage(String::fromUtf8(body));
    if (int code = s.traced()) return code;
    s.out().line("config change sent", {text("result", "config change sent"), text("text", body)});
    return done;
}

int configWatch(Session& s, unsigned count) {
    unsigned seen = 0;
    ZorvClient& c = s.client();
    c.ConfigChangeMessageEvent += [&](String m) {
        ++seen;
        s.out().line("config change '" + m.toUtf8() + "'", {text("event", "config change"), text("text", m.toUtf8())});
    };
    c.DeviceMessageEvent += [&](int workstation, uint device, String m, int reference) {
        ++seen;
        s.out().line("message from workstation " + std::to_string(workstation) + " device " + std::to_string(device) +
                         ": '" + m.toUtf8() + "' (" + std::to_string(reference) + ")",
                     {text("event", "message"), num("workstation", workstation), num("device", device),
                      text("text", m.toUtf8()), num("reference", reference)});
    };
    c.registerForNetMessage();
    catchInterrupt();
    std::fprintf(stderr, "zorvctl: watching; Ctrl-C ends\n");
    const bool reached = s.waitUntil([&] { return count != 0 && seen >= count; }, s.timeout(0));
    if (int code = s.traced()) return code;
    return count != 0 && !reached && !interrupted() ? timedOut : done;
}

int flush(Session& s) {
    s.client().sendBufferCommands();
    if (int code = s.traced()) return code;
    s.out().line("flushed", {text("result", "flushed")});
    return done;
}

}  // namespace zorvctl
