// Reads and writes a device's ini file: the device definition the hub loads
// (dev_NNN.ini in the workstation's configuration directory), a whole section
// at once and single keys.
//
//   device-ini [device]        (default: device 1)
//
// The configuration directory comes from the environment: QX_ROOT and
// QX_SYSTEM (system mode), else c:\zorv_config.ini, else WINDIR.
#include <qxConfig.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const int device = argc > 1 ? std::atoi(argv[1]) : 1;
    std::printf("device %d: %s\n", device, qxConfig::deviceFilePath(device).c_str());

    qxConfig::SectionList sections;
    qxConfig::listDeviceSections(device, sections);
    if (sections.empty()) {
        std::printf("no such file, or no sections in it\n");
        return 1;
    }
    for (const std::string& name : sections) {
        qxConfig::SectionMap entries;
        qxConfig::readDeviceSection(device, name, entries);
        std::printf("[%s]\n", name.c_str());
        for (const auto& [key, value] : entries) std::printf("  %s = %s\n", key.c_str(), value.c_str());
    }

    // One key through the profile functions, one whole section through the
    // library's own writer; both leave the rest of the file as it was.
    const int runs = qxConfig::getInt(device, "Example", "Runs", 0, false) + 1;
    qxConfig::setString(device, "Example", "Runs", std::to_string(runs));
    qxConfig::SectionMap notes{{"LastRun", std::to_string(runs)}, {"Tool", "device-ini"}};
    qxConfig::writeDeviceSection(device, "ExampleNotes", notes);
    std::printf("this example has run %d time(s) on this file\n", runs);
    return 0;
}
