#include "DeviceModel.h"

#include <cstdlib>

#include "zorvText.h"

namespace orq {

namespace {

std::string lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The value of a key, found without regard to letter case.
std::string lookup(const qxConfig::SectionMap& map, const std::string& key) {
    const std::string wanted = lower(key);
    for (const auto& [name, value] : map) {
        if (lower(trimmed(name)) == wanted) return value;
    }
    return {};
}

std::optional<DeviceType> parseType(const std::string& text) {
    const std::string type = lower(trimmed(text));
    if (type == "router") return DeviceType::router;
    if (type == "infodriver") return DeviceType::infodriver;
    if (type == "gpi") return DeviceType::gpi;
    return std::nullopt;
}

const char* stateSection(DeviceType type) {
    switch (type) {
    case DeviceType::router: return "Crosspoints";
    case DeviceType::infodriver: return "Slots";
    case DeviceType::gpi: return "GPIs";
    }
    return "";
}

const char* sizeKey(DeviceType type) {
    switch (type) {
    case DeviceType::router: return "Destinations";
    case DeviceType::infodriver: return "Slots";
    case DeviceType::gpi: return "Indexes";
    }
    return "";
}

std::string normalisedState(DeviceType type, const std::string& value) {
    switch (type) {
    case DeviceType::router: return std::to_string(wireToInt(value));
    case DeviceType::gpi: return wireToInt(value) != 0 ? "1" : "0";
    case DeviceType::infodriver: return value;
    }
    return value;
}

}  // namespace

char typeLetter(DeviceType type) {
    switch (type) {
    case DeviceType::router: return 'R';
    case DeviceType::infodriver: return 'I';
    case DeviceType::gpi: return 'G';
    }
    return '?';
}

IndexState Device::at(int index) const {
    auto it = state.find(index);
    if (it != state.end()) return it->second;
    return {type == DeviceType::infodriver ? std::string() : std::string("0"), 0};
}

bool Device::lockedAgainst(int index, int workstation) const {
    auto it = locks.find(index);
    return it != locks.end() && it->second != workstation;
}

std::string Device::revertive(int index) const {
    const IndexState current = at(index);
    switch (type) {
    case DeviceType::router: return formatText("RR %d %d %s", number, index, current.value.c_str());
    case DeviceType::infodriver:
        return formatText("IR %d %d %d '%s'", number, index, current.workstation, current.value.c_str());
    case DeviceType::gpi: return formatText("GR %d %d %d %s", number, index, current.workstation, current.value.c_str());
    }
    return {};
}

std::string Device::profile() const {
    return formatText("%d %d %c %d %d '%s'", number, version, typeLetter(type), sources, size, name.c_str());
}

std::optional<Device> DeviceModel::read(int number) const {
    const qxConfig::SectionMap definition = files_.readDevice(number, "Device");
    const std::optional<DeviceType> type = parseType(lookup(definition, "Type"));
    if (!type) return std::nullopt;

    Device device;
    device.number = number;
    device.type = *type;
    device.name = lookup(definition, "Name");
    device.version = wireToInt(lookup(definition, "Version"));
    device.sources = device.type == DeviceType::router ? wireToInt(lookup(definition, "Sources")) : 0;
    device.size = wireToInt(lookup(definition, sizeKey(device.type)));

    for (const auto& [key, value] : files_.readDevice(number, stateSection(device.type))) {
        const int index = wireToInt(key);
        if (device.hasIndex(index)) device.state[index] = {normalisedState(device.type, value), 0};
    }
    return device;
}

int DeviceModel::load(int highestDevice) {
    devices_.clear();
    for (int number = 1; number <= highestDevice; ++number) {
        if (auto device = read(number)) devices_.emplace(number, std::move(*device));
    }
    return static_cast<int>(devices_.size());
}

bool DeviceModel::reload(int number) {
    auto device = read(number);
    if (!device) {
        devices_.erase(number);
        return false;
    }
    devices_[number] = std::move(*device);
    return true;
}

Device* DeviceModel::find(int number) {
    auto it = devices_.find(number);
    return it == devices_.end() ? nullptr : &it->second;
}

const Device* DeviceModel::find(int number) const {
    auto it = devices_.find(number);
    return it == devices_.end() ? nullptr : &it->second;
}

std::vector<int> DeviceModel::numbers() const {
    std::vector<int> result;
    for (const auto& [number, device] : devices_) result.push_back(number);
    return result;
}

}  // namespace orq
