// Helpers shared by the file-related parts of the posix backend: the table of
// file-system calls, mapped paths, errno translation and directory syncing.
#pragma once

#include <windows.h>

#include <string>

#include "qxfilecalls.h"

namespace qxposix {

// The file-system calls that file functions make (replaceable by tests).
inline qxplatform::FileCalls& os() {
    return qxplatform::fileCalls();
}

// The host path of a Windows path, ready for use: when the path lies on a
// drive ("c:\..."), the drive's directory is created first, because on
// Windows a drive root always exists.
std::string usablePath(const char* windowsPath);

// The Win32 error code for an errno value of a failed operation on
// hostPath. ENOENT becomes ERROR_PATH_NOT_FOUND when the parent directory
// is missing too, else ERROR_FILE_NOT_FOUND.
DWORD win32Error(int errnoValue, const std::string& hostPath);

// SetLastError(win32Error(errno, hostPath)); returns FALSE for convenience.
BOOL failWithErrno(const std::string& hostPath);

// The directory part of a host path ("." when it has none).
std::string parentDirectory(const std::string& hostPath);

// Flushes the directory entry changes of a directory to disk.
bool syncDirectory(const std::string& directory);

}  // namespace qxposix
