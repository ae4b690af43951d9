// The subcommands that watch until a count, a timeout or Ctrl-C, and notice
// a hub that has gone (see Session::watch).
#include <cstdio>

#include "Commands.h"

namespace zorvctl {

using namespace ZorvClientLibrary;

namespace {

int ended(Session& s, Watched how, bool counted) {
    if (int code = s.traced()) return code;
    if (how == Watched::hubGone) return noHub;
    return counted && how != Watched::reached && !interrupted() ? timedOut : done;
}

}  // namespace

int watch(Session& s, const std::vector<Range>& ranges, unsigned count) {
    std::vector<Range> resolved = ranges;
    for (Range& range : resolved) {
        const auto device = s.device(range.device, 0);
        if (!device) return usage;
        if (range.end == 0) range.end = device->size;
        if (int code = checkIndexes(*device, range.start, range.end)) return code;
    }
    const auto registerRanges = [&] {
        for (const Range& range : resolved) s.client().revertiveRegister(range.device, range.start, range.end, false);
    };
    registerRanges();
    if (int code = s.traced()) return code;
    s.echo = true;
    catchInterrupt();
    std::fprintf(stderr, "zorvctl: watching; Ctrl-C ends\n");  // registered: a script may act now
    const Watched how = s.watch([&] { return count != 0 && s.revertives.size() >= count; }, s.timeout(0), registerRanges);
    if (how == Watched::ended && count != 0 && !interrupted() && s.revertives.size() < count)
        std::fprintf(stderr, "zorvctl: %zu of %u revertives in time\n", s.revertives.size(), count);
    return ended(s, how, count != 0);
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
    const Watched how = s.watch([&] { return count != 0 && seen >= count; }, s.timeout(0), [&] { c.registerForNetMessage(); });
    return ended(s, how, count != 0);
}

}  // namespace zorvctl
