// Where the hub's files are: the per-device ini files "dev_%03d.ini" and the
// hub's own "orq.ini", all read and written with the library's ini store.
#pragma once

#include <string>

#include "qxConfig.h"

namespace orq {

class DeviceFiles {
public:
    // An empty directory means the workstation's configuration directory,
    // looked up afresh at every call as the library does.
    explicit DeviceFiles(std::string directory = {}) : directory_(std::move(directory)) {}

    std::string devicePath(int device) const;
    std::string hubIniPath() const;

    qxConfig::SectionMap readDevice(int device, const std::string& section) const;
    void writeDevice(int device, const std::string& section, const qxConfig::SectionMap& map) const;
    qxConfig::SectionMap readHub(const std::string& section) const;

private:
    std::string directory_;
};

}  // namespace orq
