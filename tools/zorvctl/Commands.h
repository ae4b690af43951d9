// The subcommands of zorvctl, each run on a connected session; each returns
// the program's exit code. Device, index and source numbers are checked
// against the device's profile before anything is sent.
#pragma once

#include <functional>
#include <optional>
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

// One crosspoint of a salvo, "DEST=SRC" (each a number or a name).
struct Crosspoint {
    std::string dest;
    std::string source;
};
bool parseCrosspoint(const std::string& text, Crosspoint& crosspoint, std::string& error);

// Writes (Commands.cpp).
int route(Session& s, unsigned device, const std::string& dest, const std::string& source, const std::string& mask);
int salvo(Session& s, unsigned device, const std::vector<Crosspoint>& crosspoints, const std::string& mask);
int infoWrite(Session& s, unsigned device, unsigned slot, const std::string& value);
int gpiSwitch(Session& s, unsigned device, unsigned index, bool state);
int lock(Session& s, Kind kind, unsigned device, unsigned start, unsigned end, bool locked);
int poll(Session& s, Kind kind, unsigned device, unsigned start, unsigned end, bool query);
int file(Session& s, Kind kind, unsigned device);
int nameSet(Session& s, unsigned device, unsigned index, unsigned database, const std::string& name);
int message(Session& s, int workstation, unsigned device, const std::string& text, int reference);
int configChange(Session& s, const std::string& text);
int flush(Session& s);

// Reads and views (Views.cpp).
int status(Session& s);
int devices(Session& s);
int show(Session& s, unsigned device);
int profile(Session& s, unsigned device);
int nameGet(Session& s, unsigned device, unsigned index, unsigned database);
int nameFind(Session& s, unsigned device, unsigned database, const std::string& name);
int cacheGet(Session& s, unsigned device, unsigned index);
int cacheTest(Session& s, unsigned device, unsigned start, unsigned end);
int cacheIndex(Session& s, unsigned device, unsigned start, unsigned end, const std::string& value);

// Watchers (Watchers.cpp).
int watch(Session& s, const std::vector<Range>& ranges, unsigned count);
int configWatch(Session& s, unsigned count);

// Shared by the files above (Commands.cpp).
char kindLetter(Kind kind);
// "START" or "START-END".
std::string span(unsigned start, unsigned end);
// usage, with a message, unless start..end are indexes of the device.
int checkIndexes(const DeviceInfo& device, unsigned start, unsigned end);
// The name of an index in a database; empty when it has none.
std::optional<std::string> nameOf(Session& s, unsigned device, unsigned index, unsigned database);
// Waits for the revertives of the indexes a command changed (R, I or G),
// prints each and judges it: as written, locked by another workstation
// (refused, naming it) or set otherwise (done, with a note).
int confirm(Session& s, char kind, unsigned device, const std::vector<unsigned>& indexes,
            const std::function<bool(const Revertive&)>& asWritten);
// Waits for count revertives (0: until the timeout or an interrupt).
int collect(Session& s, std::size_t count, double seconds);
constexpr double answerSeconds = 2;  // default wait for a revertive or a reply

}  // namespace zorvctl
