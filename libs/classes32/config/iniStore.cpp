// The ini store: the own section reader, writer and lister, and the static
// single-key operations on named and device files.
#include "iniFile.h"
#include "qxConfig.h"

#include <windows.h>

#include <string_view>

namespace {

std::string sectionHeader(const std::string& section) {
    return "[" + section + "]";
}

void appendEntries(std::string& out, const std::string& section, const qxConfig::SectionMap& map) {
    out += sectionHeader(section);
    out += '\n';
    for (const auto& [key, value] : map) {
        out += key;
        out += '=';
        out += value;
        out += '\n';
    }
}

// The file's text with every occurrence of the section replaced by the
// entries (or the section appended when it has none). A header matches only
// when the whole line is the header: text after "]" makes it another section.
std::string withSectionReplaced(const std::string& text, const std::string& section,
                                const qxConfig::SectionMap& map) {
    const std::string wanted = sectionHeader(section);
    std::string out;
    out.reserve(text.size() + 64 * map.size());
    bool written = false;
    bool skipping = false;
    qxini::forEachLine(text, qxini::writerLineLimit, [&](std::string_view line) {
        if (line.front() != '[') {
            if (!skipping) out += line;
            return;
        }
        const std::string_view header = qxini::cutLineEnd(line);
        if (qxini::equalsIgnoreCase(header, wanted)) {
            appendEntries(out, section, map);
            out += '\n';
            written = skipping = true;
        } else {
            out += header;
            out += '\n';
            skipping = false;
        }
    });
    if (!written) {
        out += '\n';
        appendEntries(out, section, map);
    }
    return out;
}

// Rewrites the section; the caller holds the file's write lock.
void rewriteSection(const std::string& path, const std::string& section, const qxConfig::SectionMap& map) {
    std::string text;
    std::string lineEnd;
    if (!qxini::readTextFile(path, text, &lineEnd)) return;
    qxini::replaceFile(path, withSectionReplaced(text, section, map), lineEnd);
}

BOOL writeProfileString(const std::string& path, const std::string& section, const char* key, const char* value) {
    qxini::WriteLock lock(path);
    return WritePrivateProfileStringA(section.c_str(), key, value, path.c_str());
}

int getIntAt(const std::string& path, const std::string& section, const std::string& key, int defaultValue,
             bool writeDefault) {
    const int result = static_cast<int>(
        GetPrivateProfileIntA(section.c_str(), key.c_str(), defaultValue, path.c_str()));
    if (writeDefault && result == defaultValue)
        writeProfileString(path, section, key.c_str(), std::to_string(defaultValue).c_str());
    return result;
}

std::string getStringAt(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& defaultValue, bool writeDefault) {
    char buffer[1024];
    const DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer,
                                                  sizeof buffer, path.c_str());
    std::string text(buffer, length);
    if (writeDefault && text == defaultValue) writeProfileString(path, section, key.c_str(), defaultValue.c_str());
    return text;
}

}  // namespace

// ---------------------------------------------------------------- own reader, writer, lister

void qxConfig::loadSection(const std::string& path, const std::string& section, SectionMap& map) {
    std::string text;
    if (!qxini::readTextFile(path, text)) return;
    const std::string wanted = sectionHeader(section);
    bool inside = false;
    qxini::forEachLine(text, qxini::readerLineLimit, [&](std::string_view line) {
        line = qxini::cutLineEnd(line);
        if (!line.empty() && line.front() == '[') {
            // The header ends just after its "]"; any text behind it is ignored.
            const std::size_t close = line.find(']');
            if (close != std::string_view::npos) line = line.substr(0, close + 1);
            inside = qxini::equalsIgnoreCase(line, wanted);
            return;
        }
        const std::size_t equals = line.find('=');
        if (!inside || equals == std::string_view::npos) return;
        map.emplace(std::string(line.substr(0, equals)), std::string(line.substr(equals + 1)));
    });
}

void qxConfig::saveSection(const std::string& path, const std::string& section, const SectionMap& map) {
    // A missing file is left missing (and gets no lock file either).
    if (!qxini::fileExists(path)) return;
    qxini::WriteLock lock(path);
    rewriteSection(path, section, map);
}

void qxConfig::loadSectionNames(const std::string& path, SectionList& list) {
    std::string text;
    if (!qxini::readTextFile(path, text)) return;
    qxini::forEachLine(text, qxini::writerLineLimit, [&](std::string_view line) {
        if (line.front() != '[') return;
        line = qxini::cutLineEnd(line);
        const std::size_t close = line.find(']');
        if (close != std::string_view::npos) list.emplace_back(line.substr(1, close - 1));
    });
}

// ---------------------------------------------------------------- by file name

void qxConfig::readSection(const std::string& file, const std::string& section, SectionMap& map) {
    loadSection(fullPath(file), section, map);
}

void qxConfig::writeSection(const std::string& file, const std::string& section, const SectionMap& map) {
    saveSection(fullPath(file), section, map);
}

void qxConfig::listSections(const std::string& file, SectionList& list) {
    loadSectionNames(fullPath(file), list);
}

void qxConfig::readSystemSection(const std::string& file, const std::string& section, SectionMap& map) {
    loadSection(systemPath(file), section, map);
}

void qxConfig::writeSystemSection(const std::string& file, const std::string& section, const SectionMap& map) {
    saveSection(systemPath(file), section, map);
}

void qxConfig::listSystemSections(const std::string& file, SectionList& list) {
    loadSectionNames(systemPath(file), list);
}

int qxConfig::getInt(const std::string& file, const std::string& section, const std::string& key, int defaultValue,
                     bool writeDefault) {
    return getIntAt(fullPath(file), section, key, defaultValue, writeDefault);
}

std::string qxConfig::getString(const std::string& file, const std::string& section, const std::string& key,
                                const std::string& defaultValue, bool writeDefault) {
    return getStringAt(fullPath(file), section, key, defaultValue, writeDefault);
}

void qxConfig::setString(const std::string& file, const std::string& section, const std::string& key,
                         const std::string& value) {
    writeProfileString(fullPath(file), section, key.c_str(), value.c_str());
}

void qxConfig::deleteSection(const std::string& file, const std::string& section) {
    writeProfileString(fullPath(file), section, nullptr, nullptr);
}

void qxConfig::deleteKeysWithPrefix(const std::string& file, const std::string& section, const std::string& prefix) {
    const std::string path = fullPath(file);
    if (!qxini::fileExists(path)) return;
    // Read, edit and write under one lock, so that no other writer's change
    // to the file falls between the read and the write.
    qxini::WriteLock lock(path);
    const std::string lowerPrefix = toLower(prefix);
    SectionMap map;
    loadSection(path, section, map);
    std::erase_if(map, [&](const auto& entry) { return toLower(entry.first).starts_with(lowerPrefix); });
    rewriteSection(path, section, map);
}

// ---------------------------------------------------------------- by device number

int qxConfig::getInt(int device, const std::string& section, const std::string& key, int defaultValue,
                     bool writeDefault) {
    return getIntAt(deviceFilePath(device), section, key, defaultValue, writeDefault);
}

std::string qxConfig::getString(int device, const std::string& section, const std::string& key,
                                const std::string& defaultValue, bool writeDefault) {
    return getStringAt(deviceFilePath(device), section, key, defaultValue, writeDefault);
}

void qxConfig::setString(int device, const std::string& section, const std::string& key, const std::string& value) {
    writeProfileString(deviceFilePath(device), section, key.c_str(), value.c_str());
}

void qxConfig::readDeviceSection(int device, const std::string& section, SectionMap& map) {
    loadSection(deviceFilePath(device), section, map);
}

void qxConfig::writeDeviceSection(int device, const std::string& section, const SectionMap& map) {
    saveSection(deviceFilePath(device), section, map);
}

void qxConfig::listDeviceSections(int device, SectionList& list) {
    loadSectionNames(deviceFilePath(device), list);
}
