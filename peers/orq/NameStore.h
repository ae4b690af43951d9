// Database names per device: section [Database_N] of the device's ini file
// holds index=name. Names are read on first use and kept until flushed;
// changes are written through to the file at once, so they outlive the hub.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>

#include "DeviceFiles.h"

namespace orq {

class NameStore {
public:
    explicit NameStore(const DeviceFiles& files) : files_(files) {}

    std::optional<std::string> name(int device, int database, int index);
    // The lowest index holding exactly this name; 0 when none does.
    int indexOf(int device, int database, const std::string& name);
    // Stores the name and writes it to the device's file.
    void rename(int device, int database, int index, const std::string& name);
    // Device 0 flushes every device.
    void flush(int device);

    static std::string sectionName(int database);

private:
    using Table = std::map<int, std::string>;  // index -> name
    Table& table(int device, int database);

    const DeviceFiles& files_;
    std::map<std::pair<int, int>, Table> tables_;  // (device, database) -> names
};

}  // namespace orq
