#include "DeviceFiles.h"

#include <cstdio>

namespace orq {

std::string DeviceFiles::devicePath(int device) const {
    if (directory_.empty()) return qxConfig::deviceFilePath(device);
    char name[32];
    std::snprintf(name, sizeof name, "dev_%03d.ini", device);
    return directory_ + "\\" + name;
}

std::string DeviceFiles::hubIniPath() const {
    return directory_.empty() ? qxConfig::fullPath("orq.ini") : directory_ + "\\orq.ini";
}

qxConfig::SectionMap DeviceFiles::readDevice(int device, const std::string& section) const {
    qxConfig::SectionMap map;
    qxConfig::loadSection(devicePath(device), section, map);
    return map;
}

void DeviceFiles::writeDevice(int device, const std::string& section, const qxConfig::SectionMap& map) const {
    qxConfig::saveSection(devicePath(device), section, map);
}

qxConfig::SectionMap DeviceFiles::readHub(const std::string& section) const {
    qxConfig::SectionMap map;
    qxConfig::loadSection(hubIniPath(), section, map);
    return map;
}

}  // namespace orq
