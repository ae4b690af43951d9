// The qxConfig object: one section of one file, loaded once at construction
// and answered from memory; writes go straight through to the file.
#include "iniFile.h"
#include "qxConfig.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>

namespace {

const char* const noEncryptionTrace =
    "qxConfig: Call to setStringEncrypted with no encryption compiler settings enabled";

}  // namespace

qxConfig::qxConfig() = default;

qxConfig::qxConfig(const std::string& file, const std::string& sectionName)
    : fileName(fullPath(file)), section(sectionName) {
    loadSection(fileName, section, entries);
}

qxConfig::qxConfig(int device, const std::string& sectionName)
    : fileName(deviceFilePath(device)), section(sectionName) {
    loadSection(fileName, section, entries);
}

qxConfig::~qxConfig() = default;

qxConfig::SectionMap::const_iterator qxConfig::find(const std::string& key) const {
    // Walk in map order: of two keys differing only in case, the one that
    // sorts first (its upper-case form) wins.
    return std::find_if(entries.begin(), entries.end(),
                        [&](const auto& entry) { return qxini::equalsIgnoreCase(entry.first, key); });
}

qxConfig::SectionMap::iterator qxConfig::findEntry(const std::string& key) {
    return std::find_if(entries.begin(), entries.end(),
                        [&](const auto& entry) { return qxini::equalsIgnoreCase(entry.first, key); });
}

bool qxConfig::writeKey(const std::string& key, const char* value) {
    qxini::WriteLock lock(fileName);
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value, fileName.c_str()) != FALSE;
}

int qxConfig::getInt(const std::string& key, int defaultValue, bool writeDefault) {
    const auto entry = find(key);
    if (entry != entries.end()) return std::atoi(entry->second.c_str());
    if (writeDefault) writeKey(key, std::to_string(defaultValue).c_str());
    return defaultValue;
}

std::string qxConfig::getString(const std::string& key, const std::string& defaultValue, bool writeDefault) {
    if (key.empty()) return defaultValue;
    const auto entry = find(key);
    if (entry != entries.end()) return entry->second;
    if (writeDefault) writeKey(key, defaultValue.c_str());
    return defaultValue;
}

bool qxConfig::setString(const std::string& key, const std::string& value) {
    const auto entry = findEntry(key);
    if (entry != entries.end()) entry->second = value;
    return writeKey(key, value.c_str());
}

bool qxConfig::deleteKey(const std::string& key) {
    return writeKey(key, nullptr);
}

std::string qxConfig::getStringEncrypted(const std::string& /*extra*/, const std::string& key,
                                         const std::string& defaultValue, bool writeDefault) {
    OutputDebugStringA(noEncryptionTrace);
    return getString(key, defaultValue, writeDefault);
}

bool qxConfig::setStringEncrypted(const std::string& /*extra*/, const std::string& key, const std::string& value) {
    OutputDebugStringA(noEncryptionTrace);
    return setString(key, value);
}
