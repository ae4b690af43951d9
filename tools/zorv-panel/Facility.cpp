#include "Facility.h"

#include <windows.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "orqWindowClass.h"
#include "qxplatform.h"

namespace zorvpanel {

using nlohmann::json;
using ZorvClientLibrary::String;
using ZorvClientLibrary::uint;

namespace {

const char* kindName(char kind) {
    switch (kind) {
        case 'R':
            return "router";
        case 'I':
            return "info";
        case 'G':
            return "gpi";
        default:
            return "unknown";
    }
}

// How long connecting waits for the devices to report their state.
constexpr DWORD answerWaitMs = 1000;

std::string dump(const json& message) {
    return message.dump(-1, ' ', false, json::error_handler_t::replace);
}

// Names of database `database` for indexes 1..count ("" where none is set).
std::vector<std::string> readNames(ZorvClient& client, std::uint32_t device, std::uint32_t count,
                                   std::uint32_t database) {
    std::vector<std::string> names(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        String name;
        if (!client.databaseName(device, i + 1, database, name)) names[i] = name.toUtf8();
    }
    return names;
}

json deviceJson(const Device& d) {
    json device = {{"device", d.number},   {"kind", kindName(d.kind)}, {"name", d.name},   {"version", d.version},
                   {"sources", d.sources}, {"size", d.size},           {"names", d.names}, {"locks", d.locks}};
    if (d.kind == 'R') {
        device["sourceNames"] = d.sourceNames;
        device["crosspoints"] = d.crosspoints;
    } else if (d.kind == 'I') {
        device["slots"] = d.slots;
    } else if (d.kind == 'G') {
        device["gpis"] = d.gpis;
    }
    return device;
}

// The one index of a request, for checking it against the device.
const char* indexWord(char kind) {
    return kind == 'R' ? "destination" : kind == 'I' ? "slot" : "index";
}

}  // namespace

Facility::Facility(const Options& options, Publish publish) : options_(options), publish_(std::move(publish)) {}

void Facility::attach(ZorvClient& client) {
    client.RouterRevertiveEvent += [this](uint device, uint dest, int source) { onRouter(device, dest, source); };
    client.InfoRevertiveEvent += [this](uint device, uint slot, String text) { onInfo(device, slot, text.toUtf8()); };
    client.GPIRevertiveEvent += [this](uint device, uint index, bool state) { onGpi(device, index, state); };
    client.DatabaseChangeEvent +=
        [this, &client](uint device, uint index, int database) { onName(client, device, index, database); };
    // The hub said goodbye: the next tick reconnects (not from inside the event).
    client.DisconnectedEvent += [this] { disconnected_ = true; };
    if (options_.readOnly) client.writeEnable(false);
}

void Facility::tick(ZorvClient& client) {
    if (connected() && (disconnected_ || !client.isConnected())) lost(client);
    disconnected_ = false;
    if (!connected()) connect(client);
}

void Facility::connect(ZorvClient& client) {
    // Looking for the hub's window first is cheap; connecting without a hub is not.
    if (FindWindowA(orqWindowClass, nullptr) == nullptr) return;
    if (client.connect(options_.transport)) return;
    if (options_.readOnly) client.writeEnable(false);
    discover(client);
    {
        std::lock_guard<std::mutex> guard(lock_);
        connected_ = true;
    }
    publish_(snapshot());
}

void Facility::lost(ZorvClient& client) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        connected_ = false;
    }
    client.disconnect();
    publish_(dump({{"type", "hub"}, {"connected", false}}));
}

void Facility::discover(ZorvClient& client) {
    std::map<std::uint32_t, Device> found;
    for (std::uint32_t number = 1; number <= options_.highestDevice; ++number) {
        int version = 0;
        uint sources = 0, size = 0;
        String name;
        client.deviceProfile(number, version, sources, size, name);
        if (version == 0 && sources == 0 && size == 0) continue;
        found[number] = read(client, number, version, sources, size, name.isNull() ? "" : name.toUtf8());
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        devices_ = std::move(found);
    }
    // The state comes back as revertives; a device that is not a router
    // tells its kind by the revertives it answers.
    for (const auto& [number, device] : devices_) {
        if (device.size == 0) continue;
        client.revertiveRegister(number, 1, device.size);
        if (device.kind == 'R') {
            client.routerQuery(number, 1, device.size, true);
        } else {
            client.infoQuery(number, 1, device.size, true);
            client.gpiQuery(number, 1, device.size, true);
        }
    }
    // The answers, so that the first state is whole (bounded: a device may not answer).
    qxplatform::pumpUntil([this] { return complete(); }, answerWaitMs);
}

bool Facility::complete() {
    std::lock_guard<std::mutex> guard(lock_);
    return std::all_of(devices_.begin(), devices_.end(), [](const auto& entry) {
        const Device& d = entry.second;
        const auto unknown = [](int value) { return value < 0; };
        return d.kind != '?' && std::none_of(d.crosspoints.begin(), d.crosspoints.end(), unknown) &&
               std::none_of(d.gpis.begin(), d.gpis.end(), unknown);
    });
}

Device Facility::read(ZorvClient& client, std::uint32_t number, int version, std::uint32_t sources, std::uint32_t size,
                      const std::string& name) {
    Device d;
    d.number = number;
    d.name = name;
    d.version = version;
    d.sources = std::min(sources, maxShownIndexes);
    d.size = std::min(size, maxShownIndexes);
    d.kind = d.sources > 0 ? 'R' : '?';
    if (d.kind == 'R') {
        d.sourceNames = readNames(client, number, d.sources, 0);
        d.names = readNames(client, number, d.size, 1);
        d.crosspoints.assign(d.size, -1);
    } else {
        d.names = readNames(client, number, d.size, 0);
    }
    d.locks.assign(d.size, -1);
    return d;
}

Device* Facility::find(std::uint32_t device, std::uint32_t index, char kind) {
    const auto found = devices_.find(device);
    if (found == devices_.end() || index < 1 || index > found->second.size) return nullptr;
    Device& d = found->second;
    if (d.kind == '?' && kind != 'R') {  // the first revertive tells the kind
        d.kind = kind;
        if (kind == 'I') d.slots.assign(d.size, "");
        if (kind == 'G') d.gpis.assign(d.size, -1);
        publish_(dump({{"type", "device"}, {"device", deviceJson(d)}}));
    }
    return d.kind == kind ? &d : nullptr;
}

void Facility::onRouter(std::uint32_t device, std::uint32_t dest, int source) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        Device* d = find(device, dest, 'R');
        if (d == nullptr) return;
        d->crosspoints[dest - 1] = source;
    }
    publish_(dump({{"type", "router"}, {"device", device}, {"dest", dest}, {"source", source}}));
}

void Facility::onInfo(std::uint32_t device, std::uint32_t slot, const std::string& text) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        Device* d = find(device, slot, 'I');
        if (d == nullptr) return;
        d->slots[slot - 1] = text;
    }
    publish_(dump({{"type", "info"}, {"device", device}, {"slot", slot}, {"text", text}}));
}

void Facility::onGpi(std::uint32_t device, std::uint32_t index, bool state) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        Device* d = find(device, index, 'G');
        if (d == nullptr) return;
        d->gpis[index - 1] = state ? 1 : 0;
    }
    publish_(dump({{"type", "gpi"}, {"device", device}, {"index", index}, {"state", state}}));
}

void Facility::onName(ZorvClient& client, std::uint32_t device, std::uint32_t index, int database) {
    String name;
    const std::string text = client.databaseName(device, index, static_cast<uint>(database), name) ? "" : name.toUtf8();
    {
        std::lock_guard<std::mutex> guard(lock_);
        const auto found = devices_.find(device);
        if (found == devices_.end()) return;
        Device& d = found->second;
        const bool sourceName = d.kind == 'R' && database == 0;
        std::vector<std::string>& names = sourceName ? d.sourceNames : d.names;
        const int shown = d.kind == 'R' ? 1 : 0;  // routers show destinations from database 1
        if ((!sourceName && database != shown) || index < 1 || index > names.size()) return;
        names[index - 1] = text;
    }
    publish_(dump({{"type", "name"}, {"device", device}, {"database", database}, {"index", index}, {"name", text}}));
}

Outcome Facility::check(const Request& request, const Device*& device) const {
    const auto found = devices_.find(request.device);
    if (found == devices_.end()) return Outcome::error(404, "unknown device " + std::to_string(request.device));
    device = &found->second;
    const char wanted = request.op == Op::info   ? 'I'
                        : request.op == Op::gpi  ? 'G'
                        : request.op == Op::lock ? device->kind
                                                 : 'R';
    if (device->kind != wanted || wanted == '?') {
        return Outcome::error(400, "device " + std::to_string(request.device) + " is not a " +
                                       (wanted == 'I'   ? "infodriver"
                                        : wanted == 'G' ? "GPI unit"
                                                        : "router"));
    }
    std::vector<std::uint32_t> indexes{request.index};
    if (request.op == Op::salvo) {
        indexes.clear();
        for (const Take& take : request.takes) indexes.push_back(take.dest);
    }
    for (const std::uint32_t index : indexes) {
        if (index < 1 || index > device->size) {
            return Outcome::error(400, std::string("no ") + indexWord(device->kind) + " " + std::to_string(index) +
                                           " on device " + std::to_string(request.device));
        }
    }
    auto badSource = [&](std::int32_t source) {
        return source < 0 || static_cast<std::uint32_t>(source) > device->sources;
    };
    if (request.op == Op::take && badSource(request.source)) {
        return Outcome::error(400, "no source " + std::to_string(request.source));
    }
    for (const Take& take : request.takes) {
        if (badSource(take.source)) return Outcome::error(400, "no source " + std::to_string(take.source));
    }
    return Outcome::ok();
}

Outcome Facility::apply(ZorvClient& client, const Request& request) {
    if (!isWrite(request.op)) return Outcome::ok();
    if (options_.readOnly || !client.isWriteEnabled()) return Outcome::error(403, "the panel is read-only");
    if (!connected()) return Outcome::error(503, "the hub is not connected");
    const Device* device = nullptr;
    Device copy;
    {
        std::lock_guard<std::mutex> guard(lock_);
        const Outcome checked = check(request, device);
        if (checked.status != 200) return checked;
        copy = *device;
    }
    const uint d = request.device;
    switch (request.op) {
        case Op::take:
            client.routerCrosspoint(d, request.index, request.source, u",---", true);
            break;
        case Op::salvo:
            // Held by the hub, then released together.
            for (const Take& take : request.takes) client.routerCrosspoint(d, take.dest, take.source, u",---", false);
            client.sendBufferCommands();
            break;
        case Op::lock:
            return lock(client, copy, request.index, request.flag);
        case Op::info:
            client.infoWrite(d, request.index, String::fromUtf8(request.text), true);
            break;
        case Op::gpi:
            client.gpiSwitch(d, request.index, request.flag, true);
            break;
        case Op::auth:
            break;
    }
    return Outcome::ok();
}

Outcome Facility::lock(ZorvClient& client, const Device& device, std::uint32_t index, bool on) {
    const uint d = device.number;
    if (device.kind == 'R') client.routerLock(d, index, index, on, true);
    if (device.kind == 'I') client.infoLock(d, index, index, on, true);
    if (device.kind == 'G') client.gpiLock(d, index, index, on, true);
    // The hub reports no lock state: the panel shows the locks it made.
    const int holder = on ? options_.workstation : -1;
    {
        std::lock_guard<std::mutex> guard(lock_);
        const auto found = devices_.find(d);
        if (found != devices_.end() && index <= found->second.locks.size()) found->second.locks[index - 1] = holder;
    }
    publish_(dump({{"type", "lock"}, {"device", d}, {"index", index}, {"workstation", holder}}));
    return Outcome::ok();
}

std::string Facility::snapshot() const {
    std::lock_guard<std::mutex> guard(lock_);
    json devices = json::array();
    for (const auto& [number, device] : devices_) devices.push_back(deviceJson(device));
    return dump({{"type", "state"},
                 {"hub", connected_},
                 {"workstation", options_.workstation},
                 {"readOnly", options_.readOnly},
                 {"devices", devices}});
}

bool Facility::connected() const {
    std::lock_guard<std::mutex> guard(lock_);
    return connected_;
}

}  // namespace zorvpanel
