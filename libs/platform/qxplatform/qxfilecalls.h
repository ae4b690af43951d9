// The file-system calls of the posix backend's file functions (files,
// profile files, paths, the temporary directory, library lookup) go through
// one table of function pointers, the way SQLite routes its OS calls, so that
// a test can make one call fail: a write with ENOSPC, a rename with EACCES.
// Window messaging and the session keep their own calls. Posix only: on
// Windows the file functions are the system's.
#pragma once

#ifndef _WIN32

#include <sys/stat.h>
#include <sys/types.h>

namespace qxplatform {

struct FileCalls {
    int (*open)(const char* path, int flags, mode_t mode);
    int (*close)(int fd);
    ssize_t (*read)(int fd, void* buffer, size_t size);
    ssize_t (*pread)(int fd, void* buffer, size_t size, off_t offset);
    ssize_t (*write)(int fd, const void* buffer, size_t size);
    ssize_t (*pwrite)(int fd, const void* buffer, size_t size, off_t offset);
    int (*fsync)(int fd);
    int (*fchmod)(int fd, mode_t mode);
    int (*flock)(int fd, int operation);
    int (*fstat)(int fd, struct stat* info);
    int (*stat)(const char* path, struct stat* info);
    int (*lstat)(const char* path, struct stat* info);
    int (*access)(const char* path, int mode);
    int (*rename)(const char* from, const char* to, unsigned int flags);  // renameat2's flags
    int (*unlink)(const char* path);
    int (*mkdir)(const char* path, mode_t mode);
    int (*rmdir)(const char* path);
};

// The table in use, shared by every thread. Entries are replaced only while
// no other thread calls the file functions (tests do it between steps).
FileCalls& fileCalls();

// The entries that call the system.
const FileCalls& systemFileCalls();

// Replaces one entry of the table for as long as it lives:
//   qxplatform::ScopedFileCall full(&qxplatform::FileCalls::write, failWithEnospc);
template <class Call>
class ScopedFileCall {
public:
    ScopedFileCall(Call FileCalls::*entry, Call replacement) : entry_(entry), saved_(fileCalls().*entry) {
        fileCalls().*entry_ = replacement;
    }
    ~ScopedFileCall() { fileCalls().*entry_ = saved_; }
    ScopedFileCall(const ScopedFileCall&) = delete;
    ScopedFileCall& operator=(const ScopedFileCall&) = delete;

private:
    Call FileCalls::*entry_;
    Call saved_;
};

}  // namespace qxplatform

#endif  // _WIN32
