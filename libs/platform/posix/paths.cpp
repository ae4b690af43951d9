// The mapping from Windows paths to host paths.
//
// A drive path "c:\a\b" lies below the drives root: "$QX_DRIVES/c/a/b" (the
// drive letter lower-cased). Without QX_DRIVES the root is
// "$HOME/.qx/drives", or "/tmp/qx-drives" when HOME is unset too.
// Backslashes become slashes; any other path (absolute POSIX or relative)
// keeps its form.
#include "host_support.h"
#include "qxplatform.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isDrivePath(const std::string& path) {
    return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
}

std::string drivesRoot() {
    const char* drives = std::getenv("QX_DRIVES");
    std::string root;
    if (drives && *drives) {
        root = drives;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        root = std::string(home) + "/.qx/drives";
    } else {
        root = "/tmp/qx-drives";
    }
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    return root;
}

std::string withSlashes(std::string path) {
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

std::string driveDirectory(char driveLetter) {
    return drivesRoot() + "/" + static_cast<char>(std::tolower(static_cast<unsigned char>(driveLetter)));
}

}  // namespace

namespace qxplatform {

std::string hostPath(const std::string& windowsPath) {
    if (!isDrivePath(windowsPath)) return withSlashes(windowsPath);
    std::string rest = withSlashes(windowsPath.substr(2));
    // "c:" and "c:\" are the drive root; "c:name" (relative to the drive's
    // current directory on Windows) is taken from the root as well.
    if (!rest.empty() && rest.front() != '/') rest.insert(rest.begin(), '/');
    if (rest == "/") rest.clear();
    return driveDirectory(windowsPath[0]) + rest;
}

}  // namespace qxplatform

namespace qxposix {

std::string usablePath(const char* windowsPath) {
    const std::string path = windowsPath ? windowsPath : "";
    if (isDrivePath(path)) {
        std::error_code ignored;
        std::filesystem::create_directories(driveDirectory(path[0]), ignored);
    }
    return qxplatform::hostPath(path);
}

std::string parentDirectory(const std::string& hostPath) {
    std::string path = hostPath;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

DWORD win32Error(int errnoValue, const std::string& hostPath) {
    switch (errnoValue) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT: {
        struct stat info {};
        const bool parentExists = os().stat(parentDirectory(hostPath).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        return parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    }
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return ERROR_PATH_NOT_FOUND;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case EXDEV:
        return ERROR_NOT_SAME_DEVICE;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    default:  // EACCES, EPERM, EISDIR, EROFS, EBUSY and the rest
        return ERROR_ACCESS_DENIED;
    }
}

BOOL failWithErrno(const std::string& hostPath) {
    SetLastError(win32Error(errno, hostPath));
    return FALSE;
}

bool syncDirectory(const std::string& directory) {
    const int fd = os().open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool synced = os().fsync(fd) == 0;
    os().close(fd);
    return synced;
}

}  // namespace qxposix
