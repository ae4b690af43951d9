// Environment variables with the Win32 return conventions, on the process
// environment that getenv also reads.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

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

}  // namespace

extern "C" {

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
