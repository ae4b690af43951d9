#include "qxCheck.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>

extern const char qxCheckSignature[] =
    "ZORV_SIG,name=qxCheck,type=LIB,version=1.0.9.0,date=2026-12-07,author=zorv team,build=1";

namespace {

constexpr int defaultCountLimit = 2147483647;
constexpr int defaultDatabaseLimit = 10;
constexpr int defaultStringLimit = 256;

// Negative numbers read as values above 2147483647, so they fail upper bounds.
std::uint32_t asUnsigned(int n) {
    return static_cast<std::uint32_t>(n);
}

// Formats a message with two numbers into a bounded buffer.
std::string format2(const char* format, int a, int b) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, a, b);
    return buffer;
}

std::string format1(const char* format, int a) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, a);
    return buffer;
}

}  // namespace

qxCheck::qxCheck(const std::string& traceName)
    : name(traceName),
      deviceLimit(defaultCountLimit),
      indexLimit(defaultCountLimit),
      databaseLimit(defaultDatabaseLimit),
      sourceLimit(defaultCountLimit),
      stringLimit(defaultStringLimit) {}

qxCheck::~qxCheck() = default;

void qxCheck::setDeviceLimit(int limit) {
    deviceLimit = limit;
}

void qxCheck::setIndexLimit(int limit) {
    indexLimit = limit;
}

void qxCheck::setDatabaseLimit(int limit) {
    databaseLimit = limit;
}

void qxCheck::setSourceLimit(int limit) {
    sourceLimit = limit;
}

void qxCheck::setStringLimit(int limit) {
    stringLimit = limit == 0 ? defaultStringLimit : limit;
}

void qxCheck::setName(const std::string& newName) {
    if (&newName != &name) name = newName;
}

bool qxCheck::checkDevice(int n) const {
    if (n == 0) {
        report("Device Number of out range (less than 1)");
        return true;
    }
    if (asUnsigned(n) > asUnsigned(deviceLimit)) {
        report("Device Number of out range (> MAX_DEVICES)");
        return true;
    }
    return false;
}

bool qxCheck::checkIndex(int n) const {
    if (n == 0) {
        report("Index Number of out range (less than 1)");
        return true;
    }
    if (asUnsigned(n) > asUnsigned(indexLimit)) {
        report("Index Number of out range (> MAX_SLOTS)");
        return true;
    }
    return false;
}

bool qxCheck::checkIndexRange(int start, int end) const {
    // Both ends are always checked, so a bad start and a bad end each report.
    const bool badStart = checkIndex(start);
    const bool badEnd = checkIndex(end);
    if (badStart || badEnd) return true;
    return checkRange(start, end);
}

bool qxCheck::checkRange(int start, int end) const {
    if (asUnsigned(start) > asUnsigned(end)) {
        report("Invalid range (start>end)");
        return true;
    }
    return false;
}

bool qxCheck::checkSource(int n) const {
    // Signed comparison; -sourceLimit is computed wide so that no limit overflows.
    if (static_cast<std::int64_t>(n) < -static_cast<std::int64_t>(sourceLimit)) {
        report("Source Number of out range (less than -MAX_SLOTS)");
        return true;
    }
    if (n > sourceLimit) {
        report("Source Number of out range (> MAX_SLOTS)");
        return true;
    }
    return false;
}

bool qxCheck::checkDatabase(int n) const {
    return checkDatabase(n, databaseLimit);
}

bool qxCheck::checkDatabase(int n, int count) const {
    if (asUnsigned(n) >= asUnsigned(count)) {
        report(format2("Invalid database (%d>=%d)", n, count));
        return true;
    }
    return false;
}

bool qxCheck::checkDatabaseRange(int start, int end) const {
    if (asUnsigned(start) > asUnsigned(end)) {
        report("Invalid DB range (start>end)");
        return true;
    }
    return false;
}

bool qxCheck::checkV1Database(int n) const {
    if (asUnsigned(n) > 1u) {
        report("Invalid V1 database (>1)");
        return true;
    }
    return false;
}

bool qxCheck::checkString(const std::string& s) const {
    if (s.size() >= asUnsigned(stringLimit)) {
        report("Note: string exceeds maximum: " + s);
        return true;
    }
    return false;
}

bool qxCheck::checkStringLength(const std::string& s, int max) const {
    if (s.size() > asUnsigned(max)) {
        report("String too long: " + s);
        return true;
    }
    return false;
}

bool qxCheck::checkWorkstation(int n) const {
    if (n == 0) {
        report(format1("Workstation number invalid (< 1): %d", n));
        return true;
    }
    if (asUnsigned(n) > MAX_WORKSTATIONS) {
        report(format1("Workstation number invalid (> MAX_WORKSTATIONS): %d", n));
        return true;
    }
    return false;
}

void qxCheck::report(const std::string& message) const {
    const std::string line = name + ": " + message + "\n";
    OutputDebugStringA(line.c_str());
}
