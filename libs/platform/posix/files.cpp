// File functions on mapped host paths. A file HANDLE carries the file
// descriptor: (fd + 1) * 4, so that handles look like Win32 handles (multiples
// of 4, never 0) and need no table.
//
// Share modes are accepted and not enforced; locks are advisory whole-file
// locks (flock), so they exclude other lockers, not readers or writers.
#include "host_support.h"

#include <direct.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

HANDLE handleOf(int fd) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd + 1) * 4);
}

// The descriptor of a file handle, or -1 (with ERROR_INVALID_HANDLE set).
int descriptorOf(HANDLE handle) {
    const auto value = reinterpret_cast<std::intptr_t>(handle);
    if (value <= 0 || value % 4 != 0 || value / 4 - 1 > INT32_MAX || ::fcntl(int(value / 4 - 1), F_GETFD) < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    return static_cast<int>(value / 4 - 1);
}

int accessFlags(DWORD desiredAccess) {
    const bool read = desiredAccess & GENERIC_READ;
    const bool write = desiredAccess & GENERIC_WRITE;
    if (read && write) return O_RDWR;
    return write ? O_WRONLY : O_RDONLY;
}

int openFile(const std::string& path, int flags) {
    int fd;
    do {
        fd = qxposix::os().open(path.c_str(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Opens with the disposition's semantics; sets existed when an existing file
// was opened by CREATE_ALWAYS or OPEN_ALWAYS.
int openWithDisposition(const std::string& path, int access, DWORD disposition, bool& existed) {
    existed = false;
    switch (disposition) {
    case CREATE_NEW:
        return openFile(path, access | O_CREAT | O_EXCL);
    case OPEN_EXISTING:
        return openFile(path, access);
    case TRUNCATE_EXISTING:
        return openFile(path, access | O_TRUNC);
    case CREATE_ALWAYS:
    case OPEN_ALWAYS: {
        const int truncate = disposition == CREATE_ALWAYS ? O_TRUNC : 0;
        // Create or open, telling which happened; retry if the file appears
        // or vanishes in between.
        for (;;) {
            int fd = openFile(path, access | O_CREAT | O_EXCL);
            if (fd >= 0 || errno != EEXIST) return fd;
            fd = openFile(path, access | truncate);
            if (fd >= 0) {
                existed = true;
                return fd;
            }
            if (errno != ENOENT) return fd;
        }
    }
    default:
        errno = EINVAL;
        return -1;
    }
}

bool isDirectory(int fd) {
    struct stat info {};
    return qxposix::os().fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
}

bool lockDescriptor(int fd, int operation) {
    int result;
    do {
        result = qxposix::os().flock(fd, operation);
    } while (result < 0 && errno == EINTR);
    return result == 0;
}

}  // namespace

extern "C" {

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD /*dwShareMode*/,
                   LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                   DWORD /*dwFlagsAndAttributes*/, HANDLE /*hTemplateFile*/) {
    if (!lpFileName || !*lpFileName || dwCreationDisposition < CREATE_NEW ||
        dwCreationDisposition > TRUNCATE_EXISTING ||
        (dwCreationDisposition == TRUNCATE_EXISTING && !(dwDesiredAccess & GENERIC_WRITE))) {
        SetLastError(lpFileName && *lpFileName ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const std::string path = qxposix::usablePath(lpFileName);
    bool existed = false;
    const int fd = openWithDisposition(path, accessFlags(dwDesiredAccess), dwCreationDisposition, existed);
    if (fd < 0) {
        const DWORD error = qxposix::win32Error(errno, path);
        // Windows reports a file that CREATE_NEW finds as ERROR_FILE_EXISTS.
        SetLastError(error == ERROR_ALREADY_EXISTS ? ERROR_FILE_EXISTS : error);
        return INVALID_HANDLE_VALUE;
    }
    if (isDirectory(fd)) {  // a directory is not a file
        qxposix::os().close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handleOf(fd);
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
    const int fd = descriptorOf(hFile);
    if (fd < 0) return FALSE;
    const off_t offset = lpOverlapped ? (off_t(lpOverlapped->OffsetHigh) << 32) | lpOverlapped->Offset : 0;
    ssize_t count;
    do {
        count = lpOverlapped ? qxposix::os().pread(fd, lpBuffer, nNumberOfBytesToRead, offset)
                             : qxposix::os().read(fd, lpBuffer, nNumberOfBytesToRead);
    } while (count < 0 && errno == EINTR);
    if (count < 0) return qxposix::failWithErrno("");
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = static_cast<DWORD>(count);
    // As on Windows, a read at an offset finds the end of the file as an error.
    if (lpOverlapped && count == 0 && nNumberOfBytesToRead > 0) {
        SetLastError(ERROR_HANDLE_EOF);
        return FALSE;
    }
    return TRUE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
               LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
    const int fd = descriptorOf(hFile);
    if (fd < 0) return FALSE;
    off_t offset = lpOverlapped ? (off_t(lpOverlapped->OffsetHigh) << 32) | lpOverlapped->Offset : 0;
    const auto* bytes = static_cast<const char*>(lpBuffer);
    DWORD written = 0;
    while (written < nNumberOfBytesToWrite) {
        const size_t left = nNumberOfBytesToWrite - written;
        const ssize_t count = lpOverlapped ? qxposix::os().pwrite(fd, bytes + written, left, offset + written)
                                           : qxposix::os().write(fd, bytes + written, left);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return qxposix::failWithErrno("");
        written += static_cast<DWORD>(count);
        if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = written;
    }
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE hFile) {
    const int fd = descriptorOf(hFile);
    if (fd < 0) return FALSE;
    return qxposix::os().fsync(fd) == 0 ? TRUE : qxposix::failWithErrno("");
}

BOOL CloseHandle(HANDLE hObject) {
    // INVALID_HANDLE_VALUE is also the current process's pseudo handle,
    // which closing leaves alone.
    if (hObject == INVALID_HANDLE_VALUE) return TRUE;
    const int fd = descriptorOf(hObject);
    if (fd < 0) return FALSE;
    qxposix::os().close(fd);  // the descriptor is released even when close reports an error
    return TRUE;
}

BOOL DeleteFileA(LPCSTR lpFileName) {
    const std::string path = qxposix::usablePath(lpFileName);
    if (qxposix::os().unlink(path.c_str()) != 0) return qxposix::failWithErrno(path);
    return TRUE;
}

BOOL MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
    if (!lpExistingFileName || !lpNewFileName) {  // delayed deletion is not supported
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string from = qxposix::usablePath(lpExistingFileName);
    const std::string to = qxposix::usablePath(lpNewFileName);
    if (qxposix::os().access(from.c_str(), F_OK) != 0) return qxposix::failWithErrno(from);
    int result;
    if (dwFlags & MOVEFILE_REPLACE_EXISTING) {
        result = qxposix::os().rename(from.c_str(), to.c_str(), 0);
    } else {
        result = qxposix::os().rename(from.c_str(), to.c_str(), RENAME_NOREPLACE);
        if (result != 0 && errno == EINVAL) {  // file system without RENAME_NOREPLACE
            if (qxposix::os().access(to.c_str(), F_OK) == 0) {
                SetLastError(ERROR_ALREADY_EXISTS);
                return FALSE;
            }
            result = qxposix::os().rename(from.c_str(), to.c_str(), 0);
        }
    }
    if (result != 0) return qxposix::failWithErrno(to);
    if (dwFlags & MOVEFILE_WRITE_THROUGH) {
        const std::string targetDirectory = qxposix::parentDirectory(to);
        const std::string sourceDirectory = qxposix::parentDirectory(from);
        qxposix::syncDirectory(targetDirectory);
        if (sourceDirectory != targetDirectory) qxposix::syncDirectory(sourceDirectory);
    }
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/) {
    const std::string path = qxposix::usablePath(lpPathName);
    if (qxposix::os().mkdir(path.c_str(), 0777) != 0) return qxposix::failWithErrno(path);
    return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR lpPathName) {
    const std::string path = qxposix::usablePath(lpPathName);
    if (qxposix::os().rmdir(path.c_str()) == 0) return TRUE;
    if (errno == ENOTDIR) {  // Windows: "the directory name is invalid"
        SetLastError(ERROR_DIRECTORY);
        return FALSE;
    }
    return qxposix::failWithErrno(path);
}

DWORD GetFileAttributesA(LPCSTR lpFileName) {
    const std::string path = qxposix::usablePath(lpFileName);
    struct stat info {};
    if (qxposix::os().stat(path.c_str(), &info) != 0) {
        qxposix::failWithErrno(path);
        return INVALID_FILE_ATTRIBUTES;
    }
    return S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

// The byte range is ignored: the lock covers the whole file. flock locks
// belong to the open file description, so two handles exclude each other in
// one process as well as across processes.
BOOL LockFileEx(HANDLE hFile, DWORD dwFlags, DWORD /*dwReserved*/, DWORD /*nNumberOfBytesToLockLow*/,
                DWORD /*nNumberOfBytesToLockHigh*/, LPOVERLAPPED /*lpOverlapped*/) {
    const int fd = descriptorOf(hFile);
    if (fd < 0) return FALSE;
    int operation = (dwFlags & LOCKFILE_EXCLUSIVE_LOCK) ? LOCK_EX : LOCK_SH;
    if (dwFlags & LOCKFILE_FAIL_IMMEDIATELY) operation |= LOCK_NB;
    if (lockDescriptor(fd, operation)) return TRUE;
    SetLastError(errno == EWOULDBLOCK ? ERROR_LOCK_VIOLATION : qxposix::win32Error(errno, ""));
    return FALSE;
}

BOOL UnlockFileEx(HANDLE hFile, DWORD /*dwReserved*/, DWORD /*nNumberOfBytesToUnlockLow*/,
                  DWORD /*nNumberOfBytesToUnlockHigh*/, LPOVERLAPPED /*lpOverlapped*/) {
    const int fd = descriptorOf(hFile);
    if (fd < 0) return FALSE;
    if (lockDescriptor(fd, LOCK_UN)) return TRUE;
    return qxposix::failWithErrno("");
}

int _mkdir(const char* dirname) {
    if (!dirname) {
        errno = EINVAL;
        return -1;
    }
    return qxposix::os().mkdir(qxposix::usablePath(dirname).c_str(), 0777) == 0 ? 0 : -1;
}

}  // extern "C"
