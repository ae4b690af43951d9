#include "Ownership.h"

#include "DeviceModel.h"
#include "zorvText.h"

namespace orq {

namespace {

bool sameKey(const std::string& key, const char* wanted) {
    std::size_t i = 0;
    for (; wanted[i] != '\0'; ++i) {
        if (i >= key.size() || (key[i] | 0x20) != (wanted[i] | 0x20)) return false;
    }
    return i == key.size();
}

}  // namespace

Ownership::Ownership(const DeviceModel& devices, int workstation) : workstation_(workstation) {
    for (const int device : devices.numbers()) {
        for (const auto& [key, value] : devices.files().readDevice(device, "Device")) {
            if (!sameKey(key, "Owner")) continue;
            const int owner = wireToInt(value);
            if (owner > 0 && owner <= 0xFFFF) owners_[device] = owner;
        }
    }
}

int Ownership::owner(int device) const {
    const auto it = owners_.find(device);
    return it == owners_.end() ? 0 : it->second;
}

bool Ownership::remote(int device) const {
    const int by = owner(device);
    return by != 0 && by != workstation_;
}

bool Ownership::shared(int device) const { return owner(device) == workstation_; }

std::vector<int> Ownership::ownedHere() const { return ownedBy(workstation_); }

std::vector<int> Ownership::ownedBy(int workstation) const {
    std::vector<int> devices;
    for (const auto& [device, by] : owners_) {
        if (by == workstation) devices.push_back(device);
    }
    return devices;
}

}  // namespace orq
