// qxCheck: the device model's limits and the argument checks that every native
// operation applies before it sends anything, plus the trace output.
#pragma once

#include <string>

// Identification text of this component.
extern const char qxCheckSignature[];

/// Limits and argument checks, the base of the native clients. A check
/// returns true when its argument is invalid, after writing its trace line.
class qxCheck {
public:
    /// Highest valid workstation number.
    static constexpr unsigned MAX_WORKSTATIONS = 65535;

    /// Starts with the default limits: 2147483647 devices, indexes and
    /// sources, 10 databases, 256 bytes of text. `name` heads every trace line.
    explicit qxCheck(const std::string& name);
    virtual ~qxCheck();

    void setDeviceLimit(int limit);    ///< Highest valid device number.
    void setIndexLimit(int limit);     ///< Highest valid index (slot, destination).
    void setDatabaseLimit(int limit);  ///< Number of databases (valid: 0 to limit - 1).
    void setSourceLimit(int limit);    ///< Highest source magnitude (-limit to limit).
    void setStringLimit(int limit);    ///< Texts must be shorter; 0 restores the default of 256.
    void setName(const std::string& newName);  ///< The name that heads trace lines.

    const std::string& getName() const { return name; }    ///< The name that heads trace lines.
    int getDeviceLimit() const { return deviceLimit; }     ///< See setDeviceLimit.
    int getIndexLimit() const { return indexLimit; }       ///< See setIndexLimit.
    int getDatabaseLimit() const { return databaseLimit; } ///< See setDatabaseLimit.
    int getSourceLimit() const { return sourceLimit; }     ///< See setSourceLimit.
    int getStringLimit() const { return stringLimit; }     ///< See setStringLimit.

    /// @name Checks
    /// Each returns true when the argument is invalid, after writing one
    /// trace line (checkIndexRange may write two); false when it is valid.
    /// All compare as unsigned 32-bit numbers except checkSource.
    /// @{

    bool checkDevice(int n) const;                                 ///< 1 to the device limit.
    bool checkIndex(int n) const;                                  ///< 1 to the index limit.
    bool checkIndexRange(int start, int end) const;                ///< Two valid indexes, start <= end.
    bool checkRange(int start, int end) const;                     ///< start <= end.
    bool checkSource(int n) const;                                 ///< -limit to limit, signed.
    bool checkDatabase(int n) const;                               ///< Below the database limit.
    bool checkDatabase(int n, int count) const;                    ///< Below count.
    bool checkDatabaseRange(int start, int end) const;             ///< start <= end.
    bool checkV1Database(int n) const;                             ///< 0 or 1.
    bool checkString(const std::string& s) const;                  ///< Shorter than the string limit.
    bool checkStringLength(const std::string& s, int max) const;   ///< At most max bytes.
    bool checkWorkstation(int n) const;                            ///< 1 to MAX_WORKSTATIONS.
    /// @}

    /// Writes name + ": " + message + "\n" to the debugger output in one call.
    void report(const std::string& message) const;

protected:
    std::string name;    ///< Heads every trace line.
    int deviceLimit;     ///< See setDeviceLimit.
    int indexLimit;      ///< See setIndexLimit.
    int databaseLimit;   ///< See setDatabaseLimit.
    int sourceLimit;     ///< See setSourceLimit.
    int stringLimit;     ///< See setStringLimit.
};
