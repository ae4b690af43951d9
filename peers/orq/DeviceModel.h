// The facility's devices as the hub simulates them: routers (crosspoints),
// infodrivers (string slots) and GPI units (on/off states), each defined by
// its ini file, with the current state and the locks of every index.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "DeviceFiles.h"

namespace orq {

enum class DeviceType { router, infodriver, gpi };

// R, I or G: the letter of the device kind in command texts.
char typeLetter(DeviceType type);

struct IndexState {
    std::string value;    // router: the source number; infodriver: the text; GPI: "1" or "0"
    int workstation = 0;  // who set it; 0 for the file's initial state
};

struct Device {
    int number = 0;
    DeviceType type = DeviceType::router;
    std::string name;
    int version = 0;
    int sources = 0;  // routers only
    int size = 0;     // destinations, slots or GPI indexes

    std::map<int, IndexState> state;  // indexes not present hold the default
    std::map<int, int> locks;         // index -> workstation holding the lock

    bool hasIndex(int index) const { return index >= 1 && index <= size; }
    // The state of an index: a router destination not set is on source 0, a
    // slot not set is empty, a GPI not set is off.
    IndexState at(int index) const;
    // Locked by another workstation than the one given.
    bool lockedAgainst(int index, int workstation) const;
    // The revertive text that reports an index: "RR device dest source",
    // "IR device slot workstation 'text'" or "GR device index workstation state".
    std::string revertive(int index) const;
    // The device profile reply: "device version letter sources size 'name'".
    std::string profile() const;
};

class DeviceModel {
public:
    explicit DeviceModel(DeviceFiles files) : files_(std::move(files)) {}

    // Reads every device file from dev_001.ini up to the bound; returns how
    // many devices were found.
    int load(int highestDevice);
    // Reads one device's file again: definition, initial state, no locks.
    // A file that no longer defines a device removes it. Returns whether the
    // device exists afterwards.
    bool reload(int device);

    Device* find(int device);
    const Device* find(int device) const;
    std::vector<int> numbers() const;
    const DeviceFiles& files() const { return files_; }

private:
    std::optional<Device> read(int device) const;

    DeviceFiles files_;
    std::map<int, Device> devices_;
};

}  // namespace orq
