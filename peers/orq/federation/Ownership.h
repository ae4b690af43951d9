// Which workstation's hub owns each device: key Owner of the device file's
// [Device] section. A device without an owner is this hub's own and is not
// shared with the facility.
#pragma once

#include <map>
#include <vector>

namespace orq {

class DeviceModel;

class Ownership {
public:
    Ownership(const DeviceModel& devices, int workstation);

    // Owned by another workstation's hub.
    bool remote(int device) const;
    // Owned by this hub and shared with the facility.
    bool shared(int device) const;
    // The owning workstation; 0 for a device that is not shared.
    int owner(int device) const;
    std::vector<int> ownedHere() const;
    std::vector<int> ownedBy(int workstation) const;

private:
    int workstation_;
    std::map<int, int> owners_;  // device -> workstation
};

}  // namespace orq
