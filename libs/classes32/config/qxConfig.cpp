// Configuration roots, workstation identity, device and log file paths.
#include "qxConfig.h"

#include "iniFile.h"

#include <direct.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

extern const char qxConfigSignature[] =
    "ZORV_SIG,name=qxConfig,type=LIB,version=1.0.12.0,date=2026-12-07,author=zorv team,build=1";

namespace {

const char* const configIniPath = "c:\\zorv_config.ini";
const char* const fallbackWindowsDirectory = "c:\\windows";

// The variable's value, or null when it is absent. Read afresh at every call.
const char* environment(const char* name) {
    return std::getenv(name);
}

bool isSetAndNotEmpty(const char* name) {
    const char* value = environment(name);
    return value != nullptr && *value != '\0';
}

std::string configIniValue(DWORD bufferSize) {
    std::string buffer(bufferSize, '\0');
    const DWORD length =
        GetPrivateProfileStringA("Config", "ConfigPath", "", buffer.data(), bufferSize, configIniPath);
    buffer.resize(length);
    return buffer;
}

}  // namespace

bool qxConfig::isSystemMode() {
    return isSetAndNotEmpty("QX_ROOT") && isSetAndNotEmpty("QX_SYSTEM");
}

std::string qxConfig::systemRoot() {
    if (!isSystemMode()) return "";
    return std::string(environment("QX_ROOT")) + "\\" + environment("QX_SYSTEM");
}

bool qxConfig::usesConfigIni() {
    if (isSystemMode()) return false;
    return !configIniValue(256).empty();
}

std::string qxConfig::configPath() {
    if (isSystemMode()) return systemRoot() + "\\config";
    if (usesConfigIni()) return configIniValue(260);
    const char* windows = environment("WINDIR");
    return windows != nullptr ? windows : fallbackWindowsDirectory;
}

std::string qxConfig::fullPath(const std::string& file) {
    return configPath() + "\\" + file;
}

std::string qxConfig::systemPath(const std::string& file) {
    if (isSystemMode()) return configPath() + "\\system\\" + file;
    return fullPath(file);
}

bool qxConfig::isDeveloper() {
    const char* value = environment("QX_DEVELOPER");
    return value != nullptr && qxini::equalsIgnoreCase(value, "true");
}

int qxConfig::workstation() {
    if (isSystemMode()) {
        if (const char* number = environment("QX_WORKSTATION")) return std::atoi(number);
        // The relative name lies below the configuration directory, which
        // itself ends in "config": the file is ...\config\config\system\....
        if (int n = getInt("config\\system\\zorv_system.ini", "Network", "Workstation", 0, false)) return n;
    }
    if (int n = getInt("orq.ini", "Network", "Workstation", 0, false)) return n;
    return getInt("marnoc.ini", "System", "Workstation", 0, false);
}

std::string qxConfig::deviceFilePath(int device) {
    char name[32];
    std::snprintf(name, sizeof name, "dev_%03d.ini", device);
    return configPath() + (isSystemMode() ? "\\system\\" : "\\") + name;
}

std::string qxConfig::logFilePath(const std::string& directory, const std::string& file) {
    if (!isSystemMode()) return "c:\\zorvlogs\\" + directory + "\\" + file;
    const std::string logDirectory = systemRoot() + "\\logs\\" + directory;
    // One level only: the logs directory itself must exist. Failure (also when
    // the directory exists already) changes nothing about the path.
    _mkdir(logDirectory.c_str());
    return logDirectory + "\\" + file;
}

std::string qxConfig::toLower(const std::string& text) {
    std::string lower(text);
    for (char& c : lower) c = qxini::lowerByte(c);
    return lower;
}

char* qxConfig::toLower(char* text) {
    if (text == nullptr) return nullptr;
    for (char* c = text; *c != '\0'; ++c) *c = qxini::lowerByte(*c);
    return text;
}
