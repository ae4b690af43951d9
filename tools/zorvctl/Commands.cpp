#include "Commands.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace zorvctl {

using namespace ZorvClientLibrary;

namespace {

const char* kindName(Kind kind) { return kind == Kind::router ? "router" : kind == Kind::info ? "info" : "gpi"; }

// What the indexes of a device are called.
const char* indexWord(char kind) { return kind == 'R' ? "destination" : kind == 'I' ? "slot" : "index"; }

void print(const Session& s, const Revertive& r) {
    if (r.kind == 'R') printRouter(s.out(), r.device, r.index, r.source);
    if (r.kind == 'I') printInfo(s.out(), r.device, r.index, r.value);
    if (r.kind == 'G') printGpi(s.out(), r.device, r.index, r.state);
}

// Prints a command that the hub holds until a flush or its hold delay.
int held(Session& s, const std::string& what) {
    if (int code = s.traced()) return code;
    s.out().line(what + " held", {text("result", "held"), text("command", what)});
    return done;
}

bool digitsOnly(const std::string& text) {
    return !text.empty() && text.size() < 10 && text.find_first_not_of("0123456789") == std::string::npos;
}

// A router's destination or source given as a number or as its name:
// destinations are named in database 1, sources in database 0.
std::optional<unsigned> resolve(Session& s, const DeviceInfo& router, const std::string& given, bool destination) {
    const char* what = destination ? "destination" : "source";
    if (digitsOnly(given)) {
        const unsigned number = static_cast<unsigned>(std::strtoul(given.c_str(), nullptr, 10));
        const unsigned first = destination ? 1 : 0, last = destination ? router.size : router.sources;
        if (number >= first && number <= last) return number;
        std::fprintf(stderr, "zorvctl: router %u has %ss %u to %u; there is no %s %u\n", router.number, what, first,
                     last, what, number);
        return std::nullopt;
    }
    if (s.fitsHub(given) != done) return std::nullopt;
    const int index = s.client().databaseIndex(router.number, destination ? 1 : 0, String::fromUtf8(given));
    if (index > 0) return static_cast<unsigned>(index);
    s.traced();
    std::fprintf(stderr, "zorvctl: router %u has no %s named '%s' (database %d)\n", router.number, what, given.c_str(),
                 destination ? 1 : 0);
    return std::nullopt;
}

}  // namespace

Kind kindNamed(const std::string& name) { return name == "router" ? Kind::router : name == "info" ? Kind::info : Kind::gpi; }

std::string span(unsigned start, unsigned end) {
    return start == end ? std::to_string(start) : std::to_string(start) + "-" + std::to_string(end);
}

char kindLetter(Kind kind) { return kind == Kind::router ? 'R' : kind == Kind::info ? 'I' : 'G'; }

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

bool parseCrosspoint(const std::string& text, Crosspoint& crosspoint, std::string& error) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == text.size()) {
        error = "'" + text + "' is not DEST=SRC";
        return false;
    }
    crosspoint = {text.substr(0, equals), text.substr(equals + 1)};
    return true;
}

int checkIndexes(const DeviceInfo& device, unsigned start, unsigned end) {
    if (start >= 1 && end <= device.size && start <= end) return done;
    const unsigned wrong = start < 1 || start > device.size ? start : end;
    std::fprintf(stderr, "zorvctl: %s %u has %ss 1 to %u; there is no %s %u\n", kindWord(device.kind), device.number,
                 indexWord(device.kind), device.size, indexWord(device.kind), wrong);
    return usage;
}

std::optional<std::string> nameOf(Session& s, unsigned device, unsigned index, unsigned database) {
    // The short read says "none" (true, and a placeholder); the wide read
    // answers an empty text. Either way the name is not set.
    String name;
    if (s.client().databaseName(device, index, database, name) || name.toUtf8().empty()) return std::nullopt;
    return name.toUtf8();
}

int confirm(Session& s, char kind, unsigned device, const std::vector<unsigned>& indexes,
            const std::function<bool(const Revertive&)>& asWritten) {
    // Copies: looking up a lock lets more revertives arrive.
    std::vector<std::optional<Revertive>> seen(indexes.size());
    const bool arrived = s.waitUntil(
        [&] {
            for (const Revertive& r : s.revertives)
                for (std::size_t i = 0; i < indexes.size(); ++i)
                    if (r.kind == kind && r.device == device && r.index == indexes[i]) seen[i] = r;
            return std::all_of(seen.begin(), seen.end(), [](const auto& r) { return r.has_value(); });
        },
        s.timeout(answerSeconds));
    if (int code = s.traced()) return code;
    int result = done;
    for (const auto& r : seen) {
        if (!r) continue;
        print(s, *r);
        if (asWritten(*r)) continue;
        // Only the hub knows whether a lock stood in the way.
        const auto holder = s.link().lockHolder(device, r->index);
        if (holder && *holder != s.workstation()) {
            std::fprintf(stderr, "zorvctl: refused: %s %u %s %u is locked by workstation %d\n",
                         kindWord(kind), device, indexWord(kind), r->index, *holder);
            result = refused;
        } else {
            std::fprintf(stderr, "zorvctl: note: done; the revertive differs from what was written\n");
        }
    }
    if (!arrived) {
        std::fprintf(stderr, "zorvctl: no revertive from the hub in time\n");
        return timedOut;
    }
    return result;
}

int collect(Session& s, std::size_t count, double seconds) {
    const bool reached = s.waitUntil([&] { return count != 0 && s.revertives.size() >= count; }, seconds);
    if (int code = s.traced()) return code;
    if (count != 0 && !reached && !interrupted()) {
        std::fprintf(stderr, "zorvctl: %zu of %zu revertives in time\n", s.revertives.size(), count);
        return timedOut;
    }
    return done;
}

int route(Session& s, unsigned device, const std::string& destText, const std::string& sourceText,
          const std::string& mask) {
    if (int code = s.writable()) return code;
    const auto router = s.device(device, 'R');
    if (!router) return usage;
    const auto dest = resolve(s, *router, destText, true);
    const auto source = dest ? resolve(s, *router, sourceText, false) : std::nullopt;
    if (!source) return usage;
    const bool now = !s.options().hold;
    if (now) s.client().revertiveRegister(device, *dest, *dest);
    if (int code = s.traced()) return code;
    s.client().routerCrosspoint(device, *dest, static_cast<int>(*source), String::fromUtf8(mask), now);
    if (!now) return held(s, "router " + std::to_string(device) + " dest " + std::to_string(*dest) + " <- src " +
                                 std::to_string(*source));
    return confirm(s, 'R', device, {*dest}, [&](const Revertive& r) { return r.source == static_cast<int>(*source); });
}

int salvo(Session& s, unsigned device, const std::vector<Crosspoint>& crosspoints, const std::string& mask) {
    if (int code = s.writable()) return code;
    const auto router = s.device(device, 'R');
    if (!router) return usage;
    std::vector<unsigned> dests;
    std::vector<int> sources;
    for (const Crosspoint& crosspoint : crosspoints) {
        const auto dest = resolve(s, *router, crosspoint.dest, true);
        const auto source = dest ? resolve(s, *router, crosspoint.source, false) : std::nullopt;
        if (!source) return usage;
        dests.push_back(*dest);
        sources.push_back(static_cast<int>(*source));
    }
    for (const unsigned dest : dests) s.client().revertiveRegister(device, dest, dest, false);
    // Held by the hub, then released together.
    for (std::size_t i = 0; i < dests.size(); ++i)
        s.client().routerCrosspoint(device, dests[i], sources[i], String::fromUtf8(mask), false);
    s.client().sendBufferCommands();
    if (int code = s.traced()) return code;
    return confirm(s, 'R', device, dests, [&](const Revertive& r) {
        const auto at = std::find(dests.begin(), dests.end(), r.index);
        return sources[static_cast<std::size_t>(at - dests.begin())] == r.source;
    });
}

int infoWrite(Session& s, unsigned device, unsigned slot, const std::string& value) {
    if (int code = s.writable()) return code;
    if (int code = s.fitsHub(value)) return code;
    const auto info = s.device(device, 'I');
    if (!info) return usage;
    if (int code = checkIndexes(*info, slot, slot)) return code;
    const bool now = !s.options().hold;
    if (now) s.client().revertiveRegister(device, slot, slot);
    if (int code = s.traced()) return code;
    s.client().infoWrite(device, slot, String::fromUtf8(value), now);
    if (!now) return held(s, "info " + std::to_string(device) + " slot " + std::to_string(slot) + " = '" + value + "'");
    return confirm(s, 'I', device, {slot}, [&value](const Revertive& r) { return r.value == value; });
}

int gpiSwitch(Session& s, unsigned device, unsigned index, bool state) {
    if (int code = s.writable()) return code;
    const auto gpi = s.device(device, 'G');
    if (!gpi) return usage;
    if (int code = checkIndexes(*gpi, index, index)) return code;
    const bool now = !s.options().hold;
    if (now) s.client().revertiveRegister(device, index, index);
    if (int code = s.traced()) return code;
    s.client().gpiSwitch(device, index, state, now);
    if (!now) return held(s, "gpi " + std::to_string(device) + " index " + std::to_string(index) + (state ? " on" : " off"));
    return confirm(s, 'G', device, {index}, [state](const Revertive& r) { return r.state == state; });
}

int lock(Session& s, Kind kind, unsigned device, unsigned start, unsigned end, bool locked) {
    if (int code = s.writable()) return code;
    const auto target = s.device(device, kindLetter(kind));
    if (!target) return usage;
    if (int code = checkIndexes(*target, start, end)) return code;
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
    const auto target = s.device(device, kindLetter(kind));
    if (!target) return usage;
    if (int code = checkIndexes(*target, start, end)) return code;
    ZorvClient& c = s.client();
    s.echo = true;
    // Registered for a query too: through zel the hub cannot tell who asked,
    // and a query reaches the registered clients as a poll does.
    c.revertiveRegister(device, start, end);
    if (kind == Kind::router) query ? c.routerQuery(device, start, end, true) : c.routerPoll(device, start, end, true);
    if (kind == Kind::info) query ? c.infoQuery(device, start, end, true) : c.infoPoll(device, start, end, true);
    if (kind == Kind::gpi) query ? c.gpiQuery(device, start, end, true) : c.gpiPoll(device, start, end, true);
    if (int code = s.traced()) return code;
    return collect(s, end - start + 1, s.timeout(answerSeconds));
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

int nameSet(Session& s, unsigned device, unsigned index, unsigned database, const std::string& name) {
    if (int code = s.writable()) return code;
    if (int code = s.fitsHub(name)) return code;
    if (!s.device(device, 0)) return usage;
    s.client().databaseModify(device, index, database, String::fromUtf8(name));
    if (int code = s.traced()) return code;
    // The hub stores what reached it, in the code page: echo that.
    const std::string stored = nameOf(s, device, index, database).value_or("");
    s.out().line("name " + std::to_string(device) + " " + std::to_string(index) + " db " + std::to_string(database) +
                     " set to '" + stored + "'",
                 {text("result", "name set"), num("device", device), num("index", index), num("database", database),
                  text("name", stored)});
    if (stored != name) std::fprintf(stderr, "zorvctl: note: the hub stored the name as '%s'\n", stored.c_str());
    return done;
}

int message(Session& s, int workstation, unsigned device, const std::string& body, int reference) {
    if (int code = s.fitsHub(body)) return code;
    if (s.workstation() == 0) {
        // Clients drop a message from workstation 0.
        std::fprintf(stderr, "zorvctl: refused: this is workstation 0, whose messages no client takes; "
                             "name one with --workstation N or --config DIR\n");
        return refused;
    }
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

int flush(Session& s) {
    s.client().sendBufferCommands();
    if (int code = s.traced()) return code;
    s.out().line("flushed", {text("result", "flushed")});
    return done;
}

}  // namespace zorvctl
