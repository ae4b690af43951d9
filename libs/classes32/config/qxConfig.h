// qxConfig: where the workstation's configuration lives (configuration
// directory, system mode, workstation number), the ini file store (whole
// sections through the own reader and writer, single keys through the profile
// functions), per-device files and log directories, and an object bound to one
// file and section.
#pragma once

#include <list>
#include <map>
#include <string>

// Identification text of this component.
extern const char qxConfigSignature[];

/// Where the workstation's configuration lives and the ini file store. Every
/// static operation reads the environment and the files afresh; nothing is
/// cached. Paths are Windows paths.
class qxConfig {
public:
    /// A section: keys ordered byte-wise, one entry per distinct key.
    using SectionMap = std::map<std::string, std::string>;
    /// Section names in file order, duplicates kept.
    using SectionList = std::list<std::string>;

    // ------------------------------------------------ configuration roots
    /// System mode: QX_ROOT and QX_SYSTEM both set and not empty.
    static bool isSystemMode();
    /// `QX_ROOT\QX_SYSTEM` in system mode, else "".
    static std::string systemRoot();
    /// Outside system mode: `c:\zorv_config.ini` names a configuration directory.
    static bool usesConfigIni();
    /// The configuration directory.
    static std::string configPath();
    /// `configPath() + "\" + file`.
    static std::string fullPath(const std::string& file);
    /// `configPath() + "\system\" + file` in system mode, else fullPath(file).
    static std::string systemPath(const std::string& file);
    /// QX_DEVELOPER equals "true" in any letter case.
    static bool isDeveloper();
    /// This workstation's number, 0 when no source names one.
    static int workstation();

    // ------------------------------------------------ whole sections by full path
    /// Adds the key/value lines of the section to map (existing keys keep their value).
    static void loadSection(const std::string& path, const std::string& section, SectionMap& map);
    /// Replaces every occurrence of the section by the entries of map, or appends
    /// it; does nothing when the file does not exist.
    static void saveSection(const std::string& path, const std::string& section, const SectionMap& map);
    /// Appends the names of all sections to list.
    static void loadSectionNames(const std::string& path, SectionList& list);

    /// loadSection on fullPath(file).
    static void readSection(const std::string& file, const std::string& section, SectionMap& map);
    /// saveSection on fullPath(file).
    static void writeSection(const std::string& file, const std::string& section, const SectionMap& map);
    /// loadSectionNames on fullPath(file).
    static void listSections(const std::string& file, SectionList& list);
    /// loadSection on systemPath(file).
    static void readSystemSection(const std::string& file, const std::string& section, SectionMap& map);
    /// saveSection on systemPath(file).
    static void writeSystemSection(const std::string& file, const std::string& section, const SectionMap& map);
    /// loadSectionNames on systemPath(file).
    static void listSystemSections(const std::string& file, SectionList& list);

    // ------------------------------------------------ single keys by file name (fullPath)
    /// A key's decimal number, or the default; with writeDefault, a result
    /// equal to the default is written back.
    static int getInt(const std::string& file, const std::string& section, const std::string& key, int defaultValue,
                      bool writeDefault);
    /// A key's text (at most 1023 bytes), or the default; with writeDefault,
    /// a result equal to the default is written back.
    static std::string getString(const std::string& file, const std::string& section, const std::string& key,
                                 const std::string& defaultValue, bool writeDefault);
    /// Writes one key, creating the section and the file when needed.
    static void setString(const std::string& file, const std::string& section, const std::string& key,
                          const std::string& value);
    /// Removes the section with all its keys.
    static void deleteSection(const std::string& file, const std::string& section);
    /// Removes every key that begins with prefix, without regard to letter case.
    static void deleteKeysWithPrefix(const std::string& file, const std::string& section, const std::string& prefix);

    // ------------------------------------------------ device files
    /// `configPath()\dev_NNN.ini`, or `configPath()\system\dev_NNN.ini` in system mode.
    static std::string deviceFilePath(int device);
    /// getInt on the device's file.
    static int getInt(int device, const std::string& section, const std::string& key, int defaultValue,
                      bool writeDefault);
    /// getString on the device's file.
    static std::string getString(int device, const std::string& section, const std::string& key,
                                 const std::string& defaultValue, bool writeDefault);
    /// setString on the device's file.
    static void setString(int device, const std::string& section, const std::string& key, const std::string& value);
    /// loadSection on the device's file.
    static void readDeviceSection(int device, const std::string& section, SectionMap& map);
    /// saveSection on the device's file.
    static void writeDeviceSection(int device, const std::string& section, const SectionMap& map);
    /// loadSectionNames on the device's file.
    static void listDeviceSections(int device, SectionList& list);

    // ------------------------------------------------ log files
    /// `QX_ROOT\QX_SYSTEM\logs\directory\file` in system mode (creating the
    /// last directory level), else `c:\zorvlogs\directory\file`.
    static std::string logFilePath(const std::string& directory, const std::string& file);

    // ------------------------------------------------ text helpers
    /// The text with A to Z lowered, other bytes as they are.
    static std::string toLower(const std::string& text);
    /// Lower-cases text in place and returns it; null gives null.
    static char* toLower(char* text);

    // ------------------------------------------------ object bound to a file and section
    qxConfig();  ///< Bound to no file: lookups give their defaults.
    /// Bound to a section of fullPath(file), whose entries it loads now.
    qxConfig(const std::string& file, const std::string& section);
    /// Bound to a section of the device's file, whose entries it loads now.
    qxConfig(int device, const std::string& section);
    virtual ~qxConfig();

    /// Lookups are answered from the section as loaded at construction; writes
    /// go straight to the file (and only setString updates a loaded key).
    int getInt(const std::string& key, int defaultValue, bool writeDefault);
    /// A loaded key's text, or the default (written back with writeDefault).
    std::string getString(const std::string& key, const std::string& defaultValue, bool writeDefault);
    /// Writes the key to the file; false when that failed.
    bool setString(const std::string& key, const std::string& value);
    /// Removes the key from the file; false when that failed.
    bool deleteKey(const std::string& key);
    /// No encryption is built in: these trace that and act as the plain forms.
    std::string getStringEncrypted(const std::string& extra, const std::string& key, const std::string& defaultValue,
                                   bool writeDefault);
    /// See getStringEncrypted.
    bool setStringEncrypted(const std::string& extra, const std::string& key, const std::string& value);

    /// The first entry in map order whose key equals key without regard to
    /// letter case, or getEntries().end().
    SectionMap::const_iterator find(const std::string& key) const;
    const SectionMap& getEntries() const { return entries; }     ///< The entries loaded at construction.
    const std::string& getFileName() const { return fileName; }  ///< The bound file.
    const std::string& getSection() const { return section; }    ///< The bound section.

private:
    SectionMap::iterator findEntry(const std::string& key);
    bool writeKey(const std::string& key, const char* value);

    SectionMap entries;
    std::string fileName;
    std::string section;
};
