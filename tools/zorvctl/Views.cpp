// The subcommands that read: status, the device list and table, profiles,
// names and the value cache.
#include <climits>
#include <cstdio>

#include "Commands.h"

namespace zorvctl {

using namespace ZorvClientLibrary;

namespace {

// A device's size in words: "16 sources, 8 destinations", "32 slots", "8 indexes".
std::string sizeWords(const DeviceInfo& d) {
    if (d.kind == 'R') return std::to_string(d.sources) + " sources, " + std::to_string(d.size) + " destinations";
    return std::to_string(d.size) + (d.kind == 'I' ? " slots" : " indexes");
}

void printDevice(Session& s, const DeviceInfo& d) {
    s.out().line("device " + std::to_string(d.number) + " " + kindWord(d.kind) + " '" + d.name + "', " + sizeWords(d) +
                     (d.online ? "" : ", offline"),
                 {text("result", "device"), num("device", d.number), text("kind", kindWord(d.kind)),
                  text("name", d.name), num("version", d.version), num("sources", d.sources), num("size", d.size),
                  boolean("online", d.online)});
}

// Names as a table cell: an unset name is empty.
std::string cell(const std::optional<std::string>& name) { return name.value_or(""); }

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

// The column widths of rows of cells: each the widest of its cells.
std::vector<std::size_t> widths(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> width(rows.front().size(), 0);
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i) width[i] = std::max(width[i], row[i].size());
    return width;
}

}  // namespace

int status(Session& s) {
    ZorvClient& c = s.client();
    const Configuration& config = s.configuration();
    char window[32];
    std::snprintf(window, sizeof window, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(HubLink::hub())));
    s.out().line(std::string("hub running, window ") + window + ", transport " + s.options().transport,
                 {text("result", "status"), text("window", window), text("transport", s.options().transport)});
    s.out().line("session " + config.session + ", workstation " + std::to_string(config.workstation) + " (" +
                     config.workstationSource + ")",
                 {text("result", "workstation"), text("session", config.session),
                  num("workstation", config.workstation), text("from", config.workstationSource)});
    s.out().line("configuration " + config.directory + " (" + config.directorySource + ")",
                 {text("result", "configuration"), text("directory", config.directory),
                  text("from", config.directorySource)});
    // The hub may name no limit: then the library's answer is INT_MAX.
    std::string limits;
    std::vector<Field> fields{text("result", "limits")};
    const std::pair<const char*, uint> named[] = {{"devices", c.maxDevices()},     {"sources", c.maxSources()},
                                                  {"indexes", c.maxIndexes()},     {"databases", c.maxDatabases()},
                                                  {"string", c.maxString()}};
    for (const auto& [name, value] : named) {
        if (value == 0 || value >= static_cast<uint>(INT_MAX)) continue;
        limits += std::string(limits.empty() ? "" : ", ") + name + " " + std::to_string(value);
        fields.push_back(num(name, value));
    }
    s.out().line("limits: " + (limits.empty() ? std::string("none") : limits), fields);
    return devices(s);
}

int devices(Session& s) {
    const auto list = s.link().devices();
    for (const DeviceInfo& d : list) printDevice(s, d);
    if (list.empty()) s.out().line("no devices", {text("result", "no devices")});
    return done;
}

int show(Session& s, unsigned number) {
    const auto device = s.device(number, 0);
    if (!device) return usage;
    printDevice(s, *device);
    // The state of every index, asked of the hub for this client only.
    ZorvClient& c = s.client();
    c.revertiveRegister(number, 1, device->size);
    if (device->kind == 'R') c.routerQuery(number, 1, device->size, true);
    if (device->kind == 'I') c.infoQuery(number, 1, device->size, true);
    if (device->kind == 'G') c.gpiQuery(number, 1, device->size, true);
    if (int code = collect(s, device->size, s.timeout(answerSeconds))) return code;

    std::vector<std::vector<std::string>> rows;
    if (device->kind == 'R') rows.push_back({"dest", "name", "src", "name", "lock"});
    if (device->kind == 'I') rows.push_back({"slot", "name", "text", "lock"});
    if (device->kind == 'G') rows.push_back({"index", "name", "state", "lock"});
    std::vector<Revertive> states(device->size + 1);
    for (const Revertive& r : s.revertives)
        if (r.device == number && r.index >= 1 && r.index <= device->size) states[r.index] = r;
    for (unsigned index = 1; index <= device->size; ++index) {
        const Revertive& r = states[index];
        const auto holder = s.link().lockHolder(number, index);
        const std::string lock = holder ? "ws " + std::to_string(*holder) : "";
        const std::string name = cell(nameOf(s, number, index, device->kind == 'R' ? 1 : 0));
        std::vector<Field> fields{text("result", "row"), num("device", number), num("index", index), text("name", name)};
        if (device->kind == 'R') {
            const std::string source = r.source > 0 ? cell(nameOf(s, number, static_cast<unsigned>(r.source), 0)) : "";
            rows.push_back({std::to_string(index), name, std::to_string(r.source), source, lock});
            fields.push_back(num("src", r.source));
            fields.push_back(text("src name", source));
        } else if (device->kind == 'I') {
            rows.push_back({std::to_string(index), name, "'" + r.value + "'", lock});
            fields.push_back(text("text", r.value));
        } else {
            rows.push_back({std::to_string(index), name, r.state ? "on" : "off", lock});
            fields.push_back(num("state", r.state ? 1 : 0));
        }
        fields.push_back(num("locked by", holder.value_or(-1)));
        if (s.out().json()) s.out().line({}, fields);
    }
    if (s.out().json()) return done;
    const auto width = widths(rows);
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) line += padded(row[i], width[i] + 2);
        s.out().line(line.substr(0, line.find_last_not_of(' ') + 1), {});
    }
    return done;
}

int profile(Session& s, unsigned device) {
    int version = 0;
    uint sources = 0, size = 0;
    s.client().deviceProfile(device, version, sources, size);
    if (int code = s.traced()) return code;
    if (version == 0 && sources == 0 && size == 0) {
        std::fprintf(stderr, "zorvctl: the hub has no device %u\n", device);
        return usage;
    }
    s.out().line("device " + std::to_string(device) + " version " + std::to_string(version) + ", sources " +
                     std::to_string(sources) + ", size " + std::to_string(size),
                 {text("result", "profile"), num("device", device), num("version", version), num("sources", sources),
                  num("size", size)});
    return done;
}

int nameGet(Session& s, unsigned device, unsigned index, unsigned database) {
    if (!s.device(device, 0)) return usage;
    const auto name = nameOf(s, device, index, database);
    if (int code = s.traced()) return code;
    // One rule for a name that is not set: "unset", and "found": false.
    const std::string what = "name " + std::to_string(device) + " " + std::to_string(index) + " db " + std::to_string(database);
    s.out().line(what + (name ? " = '" + *name + "'" : " unset"),
                 {text("result", "name"), num("device", device), num("index", index), num("database", database),
                  boolean("found", name.has_value()), text("name", name.value_or(""))});
    return done;
}

int nameFind(Session& s, unsigned device, unsigned database, const std::string& name) {
    if (int code = s.fitsHub(name)) return code;
    if (!s.device(device, 0)) return usage;
    const int index = s.client().databaseIndex(device, database, String::fromUtf8(name));
    if (int code = s.traced()) return code;
    s.out().line("name " + std::to_string(device) + " db " + std::to_string(database) + " '" + name + "' at " +
                     std::to_string(index),
                 {text("result", "name found"), num("device", device), num("database", database), text("name", name),
                  num("index", index)});
    return done;
}

int cacheGet(Session& s, unsigned device, unsigned index) {
    const auto target = s.device(device, 0);
    if (!target) return usage;
    if (int code = checkIndexes(*target, index, index)) return code;
    String value;
    const bool miss = s.client().cacheValue(device, index, value);
    if (int code = s.traced()) return code;
    const std::string what = "cache " + std::to_string(device) + " " + std::to_string(index);
    s.out().line(miss ? what + " not cached" : what + " = '" + value.toUtf8() + "'",
                 {text("result", "cache"), num("device", device), num("index", index), boolean("found", !miss),
                  text("value", miss ? "" : value.toUtf8())});
    return done;
}

int cacheTest(Session& s, unsigned device, unsigned start, unsigned end) {
    const auto target = s.device(device, 0);
    if (!target) return usage;
    if (int code = checkIndexes(*target, start, end)) return code;
    const bool cached = s.client().cacheTest(device, start, end);
    if (int code = s.traced()) return code;
    s.out().line("cache " + std::to_string(device) + " " + span(start, end) +
                     (cached ? " cached" : " not cached"),
                 {text("result", "cache test"), num("device", device), num("start", start), num("end", end),
                  num("cached", cached ? 1 : 0)});
    return done;
}

int cacheIndex(Session& s, unsigned device, unsigned start, unsigned end, const std::string& value) {
    if (int code = s.fitsHub(value)) return code;
    const auto target = s.device(device, 0);
    if (!target) return usage;
    if (int code = checkIndexes(*target, start, end)) return code;
    const uint index = s.client().cacheIndex(device, start, end, String::fromUtf8(value));
    if (int code = s.traced()) return code;
    s.out().line("cache " + std::to_string(device) + " " + span(start, end) + " '" +
                     value + "' at " + std::to_string(index),
                 {text("result", "cache index"), num("device", device), num("start", start), num("end", end),
                  text("value", value), num("index", index)});
    return done;
}

}  // namespace zorvctl
