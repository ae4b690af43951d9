// Environment variables with the Win32 return conventions, on the process
// environment that getenv also reads.
#include <windows.h>

#include "host_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

// setenv and getenv are not safe against each other; our own calls at least
// take turns.
std::mutex& environmentMutex() {
    static auto* mutex = new std::mutex;  // outlives every thread
    return *mutex;
}

bool isValidName(LPCSTR name) {
    return name && *name && !std::strchr(name, '=');
}

std::string environmentValue(const char* name) {
    std::lock_guard<std::mutex> lock(environmentMutex());
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// A directory of this user alone: $XDG_RUNTIME_DIR, else /tmp/qx-<uid>,
// created with owner-only permissions; another user's directory of that name
// is never used.
std::string privateDirectory() {
    std::string directory = environmentValue("XDG_RUNTIME_DIR");
    if (!directory.empty()) return directory;
    directory = "/tmp/qx-" + std::to_string(getuid());
    qxposix::os().mkdir(directory.c_str(), 0700);
    struct stat status {};
    if (qxposix::os().lstat(directory.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != getuid())
        return "/tmp";
    return directory;
}

}  // namespace

extern "C" {

// The user's directory for temporary files, ending with a separator: TMP or
// TEMP when set, as on Windows, else a directory private to the user.
DWORD GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
    std::string path = environmentValue("TMP");
    if (path.empty()) path = environmentValue("TEMP");
    if (path.empty()) path = privateDirectory();
    if (path.back() != '/' && path.back() != '\\') path += '/';
    const auto length = static_cast<DWORD>(path.size());
    if (lpBuffer == nullptr || length >= nBufferLength) return length + 1;
    std::memcpy(lpBuffer, path.c_str(), length + 1);
    return length;
}

DWORD GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) {
    if (!isValidName(lpName)) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    std::lock_guard<std::mutex> lock(environmentMutex());
    const char* value = std::getenv(lpName);
    if (!value) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    const DWORD length = static_cast<DWORD>(std::strlen(value));
    if (!lpBuffer || length >= nSize) return length + 1;  // the size needed, terminator included
    std::memcpy(lpBuffer, value, length + 1);
    if (length == 0) SetLastError(ERROR_SUCCESS);  // tells an empty value from a missing one
    return length;
}

BOOL SetEnvironmentVariableA(LPCSTR lpName, LPCSTR lpValue) {
    if (!isValidName(lpName)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(environmentMutex());
    const int result = lpValue ? ::setenv(lpName, lpValue, 1) : ::unsetenv(lpName);
    if (result != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return TRUE;
}

}  // extern "C"
