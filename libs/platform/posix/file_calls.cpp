// The table of file-system calls (qxfilecalls.h): by default the system's.
#include "qxfilecalls.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr qxplatform::FileCalls systemCalls{
    [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
    ::close,
    ::read,
    ::pread,
    ::write,
    ::pwrite,
    ::fsync,
    ::fchmod,
    ::flock,
    [](int fd, struct stat* info) { return ::fstat(fd, info); },
    [](const char* path, struct stat* info) { return ::stat(path, info); },
    [](const char* path, struct stat* info) { return ::lstat(path, info); },
    ::access,
    [](const char* from, const char* to, unsigned int flags) {
        return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, flags);
    },
    ::unlink,
    ::mkdir,
    ::rmdir,
};

}  // namespace

namespace qxplatform {

namespace {
constinit FileCalls calls = systemCalls;
}  // namespace

FileCalls& fileCalls() {
    return calls;
}

const FileCalls& systemFileCalls() {
    return systemCalls;
}

}  // namespace qxplatform
