// The ini reader, lister and writer on any file content.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <windows.h>

#include "qxConfig.h"

namespace {

std::string scratchFile() {
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("qx-ini-fuzz-" + std::to_string(GetCurrentProcessId()) + ".ini"))
            .string();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = scratchFile();
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    qxConfig::SectionMap map;
    qxConfig::loadSection(path, "Section", map);
    qxConfig::SectionList names;
    qxConfig::loadSectionNames(path, names);
    map["added"] = "value";
    qxConfig::saveSection(path, "Section", map);
    qxConfig::SectionMap again;
    qxConfig::loadSection(path, "Section", again);
    if (again.count("added") != 1) std::abort();
    return 0;
}
