// The hub's command texts: device changes, locks, polls, queries, file
// re-reads, device messages and name changes.
#include <algorithm>
#include <cstdint>

#include "HubCore.h"
#include "zorvMessages.h"
#include "zorvText.h"

namespace orq {

namespace {

constexpr DWORD nowFlag = 0x8000;

using namespace zorvmsg;

UINT revertiveCode(DeviceType type) {
    switch (type) {
    case DeviceType::router: return routerText;
    case DeviceType::gpi: return gpiText;
    case DeviceType::infodriver: return infodriverText;
    }
    return generalText;
}

}  // namespace

LRESULT HubCore::command(const Request& request) {
    const std::string text = request.textAt(0);
    const auto parsed = parseCommand(text);
    if (!parsed) {
        log("unknown command: " + text);
        return 0;
    }
    // A name change arrives twice, under the device's code and under 2159;
    // the hub acts on the second copy only.
    if (parsed->verb == Verb::rename) {
        if (request.code == nameChange) rename(*parsed);
        return 1;
    }
    if (request.code == nameChange) return 0;

    const bool now = (request.parameter & nowFlag) != 0;
    if (parsed->holdable() && !now && options_.holdDelayMs > 0) {
        held_.push_back({*parsed, request.requester, GetTickCount() + options_.holdDelayMs});
        return 1;
    }
    apply(*parsed, request.requester);
    return 1;
}

void HubCore::apply(const Command& command, HWND requester) {
    if (forwarded(command)) return;
    switch (command.verb) {
    case Verb::crosspoint:
    case Verb::infoWrite:
    case Verb::gpiSwitch: change(command); break;
    case Verb::lock: lock(command); break;
    case Verb::poll: report(command, nullptr); break;
    case Verb::query: report(command, requester); break;
    case Verb::file: reloadDevice(command); break;
    case Verb::deviceMessage: relayDeviceMessage(command); break;
    case Verb::rename: rename(command); break;
    }
}

Device* HubCore::deviceFor(const Command& command) {
    Device* device = devices_.find(command.device);
    if (device == nullptr) {
        log(formatText("no device %d", command.device));
        return nullptr;
    }
    if (typeLetter(device->type) != command.kind) {
        log(formatText("device %d is no %c device", command.device, command.kind));
        return nullptr;
    }
    return device;
}

void HubCore::change(const Command& command) {
    Device* device = deviceFor(command);
    if (device == nullptr) return;
    if (!device->hasIndex(command.index)) {
        log(formatText("device %d has no index %d", device->number, command.index));
        return;
    }
    if (command.verb == Verb::crosspoint && (command.source < 0 || command.source > device->sources)) {
        log(formatText("router %d has no source %d", device->number, command.source));
        return;
    }
    if (device->lockedAgainst(command.index, command.workstation)) {
        // Refused: report the unchanged state so that displays snap back.
        log(formatText("device %d index %d is locked; change from workstation %d refused", device->number,
                       command.index, command.workstation));
        emitRevertive(*device, command.index);
        return;
    }
    if (forwardToInfodriver(command)) return;  // its driver decides; the infodriver reports back
    std::string value = command.text;
    if (command.verb == Verb::crosspoint) value = std::to_string(command.source);
    if (command.verb == Verb::gpiSwitch) value = command.flag ? "1" : "0";
    device->state[command.index] = {value, command.workstation};
    emitRevertive(*device, command.index);
}

void HubCore::lock(const Command& command) {
    Device* device = deviceFor(command);
    if (device == nullptr) return;
    const int first = std::max(command.index, 1);
    const int last = std::min(command.end, device->size);
    for (int index = first; index <= last; ++index) {
        if (command.flag) {
            device->locks[index] = command.workstation;
        } else {
            device->locks.erase(index);
        }
    }
    if (federation_) federation_->locksChanged(*device);
}

void HubCore::report(const Command& command, HWND onlyTo) {
    Device* device = deviceFor(command);
    if (device == nullptr) return;
    const int first = std::max(command.index, 1);
    const int last = std::min(command.end, device->size);
    refreshFromInfodriver(*device, first, last);
    for (int index = first; index <= last; ++index) emitRevertive(*device, index, onlyTo);
}

void HubCore::reloadDevice(const Command& command) {
    // A device unknown so far is looked for too: its file may be new.
    const Device* known = devices_.find(command.device);
    if (known != nullptr && typeLetter(known->type) != command.kind) {
        log(formatText("device %d is no %c device", command.device, command.kind));
        return;
    }
    names_.flush(command.device);
    if (!devices_.reload(command.device)) {
        log(formatText("device %d is gone from its file", command.device));
        return;
    }
    const Device* device = devices_.find(command.device);
    for (int index = 1; index <= device->size; ++index) emitRevertive(*device, index);
    if (federation_) federation_->locksChanged(*device);
}

void HubCore::relayDeviceMessage(const Command& command) {
    const std::string text = formatText("NS %d %d '%s' %d 0 %d", command.device, command.workstation,
                                        command.text.c_str(), command.targetWorkstation, command.reference);
    for (const ClientAddress& client : clients_.subscribers()) sendText(client, generalText, text);
    if (federation_) federation_->deviceMessage(command.targetWorkstation, text);
}

void HubCore::rename(const Command& command) {
    if (forwarded(command)) return;
    if (devices_.find(command.device) == nullptr) {
        log(formatText("name change for unknown device %d refused", command.device));
        return;
    }
    const bool indexFits = command.index >= 1 && (options_.maxDatabaseIndex <= 0 ||
                                                  command.index <= options_.maxDatabaseIndex);
    if (command.database < 0 || command.database >= databaseCount() || !indexFits) {
        log(formatText("name change for device %d database %d index %d refused", command.device, command.database,
                       command.index));
        return;
    }
    names_.rename(command.device, command.database, command.index, command.text);
    notifyDatabaseChange(command.device, command.index, command.database);
    if (federation_) federation_->nameChanged(command.device, command.database, command.index, command.text);
}

void HubCore::emitRevertive(const Device& device, int index, HWND onlyTo) {
    cache_.store(device.number, index, device.at(index).value);
    const std::string text = device.revertive(index);
    const UINT code = revertiveCode(device.type);
    if (federation_ && onlyTo == nullptr) federation_->stateReported(device, index);
    if (onlyTo != nullptr) {
        sendText(clients_.address(onlyTo), code, text);
        return;
    }
    for (const ClientAddress& client : clients_.registeredFor(device.number, index)) sendText(client, code, text);
}

void HubCore::notifyDatabaseChange(int device, int index, int database) {
    for (const ClientAddress& client : clients_.registeredFor(device, index)) {
        Delivery delivery;
        delivery.to = client;
        switch (options_.databaseChange) {
        case DatabaseChangeForm::text:
            delivery.code = generalText;
            delivery.bytes = formatText("DC %d %d %d", device, index, database);
            break;
        case DatabaseChangeForm::shortNumeric:
            delivery.form = Delivery::Form::plain;
            delivery.code = databaseChangeShort;
            delivery.wParam = static_cast<WPARAM>(device);
            delivery.lParam = static_cast<LPARAM>(MAKELONG(index, database)) & 0xFFFFFFFF;
            break;
        case DatabaseChangeForm::wideNumeric: {
            delivery.form = Delivery::Form::record;
            delivery.code = databaseChangeWide;
            const std::uint32_t record[3] = {static_cast<std::uint32_t>(device), static_cast<std::uint32_t>(index),
                                             static_cast<std::uint32_t>(database)};
            delivery.bytes.assign(reinterpret_cast<const char*>(record), sizeof record);
            break;
        }
        }
        queue(std::move(delivery));
    }
}

}  // namespace orq
