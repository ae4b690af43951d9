// qxCheck: the device model's limits and the argument checks that every native
// operation applies before it sends anything, plus the trace output.
#pragma once

#include <string>

// Identification text of this component.
extern const char qxCheckSignature[];

class qxCheck {
public:
    // Highest valid workstation number.
    static constexpr unsigned MAX_WORKSTATIONS = 65535;

    explicit qxCheck(const std::string& name);
    virtual ~qxCheck();

    void setDeviceLimit(int limit);
    void setIndexLimit(int limit);
    void setDatabaseLimit(int limit);
    void setSourceLimit(int limit);
    void setStringLimit(int limit);  // 0 restores the default of 256
    void setName(const std::string& newName);

    const std::string& getName() const { return name; }
    int getDeviceLimit() const { return deviceLimit; }
    int getIndexLimit() const { return indexLimit; }
    int getDatabaseLimit() const { return databaseLimit; }
    int getSourceLimit() const { return sourceLimit; }
    int getStringLimit() const { return stringLimit; }

    // Each check returns true when the argument is invalid, after writing one
    // trace line (checkIndexRange may write two); false when it is valid.
    // All compare as unsigned 32-bit numbers except checkSource.
    bool checkDevice(int n) const;
    bool checkIndex(int n) const;
    bool checkIndexRange(int start, int end) const;
    bool checkRange(int start, int end) const;
    bool checkSource(int n) const;
    bool checkDatabase(int n) const;
    bool checkDatabase(int n, int count) const;
    bool checkDatabaseRange(int start, int end) const;
    bool checkV1Database(int n) const;
    bool checkString(const std::string& s) const;
    bool checkStringLength(const std::string& s, int max) const;
    bool checkWorkstation(int n) const;

    // Writes name + ": " + message + "\n" to the debugger output in one call.
    void report(const std::string& message) const;

protected:
    std::string name;
    int deviceLimit;
    int indexLimit;
    int databaseLimit;
    int sourceLimit;
    int stringLimit;
};
