// The subcommands of zorvctl, each run on a connected session; each returns
// the program's exit code.
#pragma once

#include <string>
#include <vector>

#include "Session.h"

namespace zorvctl {

enum class Kind { router, info, gpi };
Kind kindNamed(const std::string& name);

// A watched range: DEV, DEV:START or DEV:START-END (end 0: to the device's end).
struct Range {
    unsigned device = 0;
    unsigned start = 0;
    unsigned end = 0;
};
// Parses a range; false, with the reason, for bad input.
bool parseRange(const std::string& text, Range& range, std::string& error);

int status(Session& s);
int route(Session& s, unsigned device, unsigned dest, int source, const std::string& mask);
int infoWrite(Session& s, unsigned device, unsigned slot, const std::string& value);
int gpiSwitch(Session& s, unsigned device, unsigned index, bool state);
int lock(Session& s, Kind kind, unsigned device, unsigned start, unsigned end, bool locked);
int poll(Session& s, Kind kind, unsigned device, unsigned start, unsigned end, bool query);
int file(Session& s, Kind kind, unsigned device);
int profile(Session& s, unsigned device);
int watch(Session& s, const std::vector<Range>& ranges, unsigned count);
int nameGet(Session& s, unsigned device, unsigned index, unsigned database);
int nameSet(Session& s, unsigned device, unsigned index, unsigned database, const std::string& name);
int nameFind(Session& s, unsigned device, unsigned database, const std::string& name);
int cacheGet(Session& s, unsigned device, unsigned index);
int cacheTest(Session& s, unsigned device, unsigned start, unsigned end);
int cacheIndex(Session& s, unsigned device, unsigned start, unsigned end, const std::string& value);
int message(Session& s, int workstation, unsigned device, const std::string& text, int reference);
int configChange(Session& s, const std::string& text);
int configWatch(Session& s, unsigned count);
int flush(Session& s);

}  // namespace zorvctl
