#include "Ownership.h"

#include "DeviceModel.h"
#include "zorvText.h"

namespace orq {

namespace {

// The key, blanks around it ignored, in any letter case (as DeviceModel reads keys).
bool sameKey(const std::string& key, const std::string& wanted) {
    const auto first = key.find_first_not_of(" \t");
    if (first == std::string::npos) return false;
    const std::string bare = key.substr(first, key.find_last_not_of(" \t") - first + 1);
    if (bare.size() != wanted.size()) return false;
    for (std::size_t i = 0; i < bare.size(); ++i) {
        if ((bare[i] | 0x20) != (wanted[i] | 0x20)) return false;
    }
    return true;
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
