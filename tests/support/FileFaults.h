// File-system faults for tests, installed through the platform layer's
// table of file-system calls (qxfilecalls.h). Posix only: the Windows build
// has no such table.
#pragma once

#ifndef _WIN32

#include "qxfilecalls.h"

#include <cerrno>
#include <memory>

namespace qxtest::faults {

using qxplatform::FileCalls;

// Calls made so far under the fault in force; reset it before each case.
inline int callsSoFar = 0;

inline int failWith(int error) {
    errno = error;
    return -1;
}

inline ssize_t writeNoSpace(int, const void*, size_t) { return failWith(ENOSPC); }

// The first write stores half its bytes, every later one fails.
inline ssize_t writeHalfThenEio(int fd, const void* buffer, size_t size) {
    if (callsSoFar++ > 0) return failWith(EIO);
    return qxplatform::systemFileCalls().write(fd, buffer, size / 2);
}

// The first read returns a few bytes, the next one fails.
inline ssize_t readSomeThenEio(int fd, void* buffer, size_t size) {
    if (callsSoFar++ > 0) return failWith(EIO);
    return qxplatform::systemFileCalls().read(fd, buffer, size < 16 ? size : 16);
}

inline int fsyncEio(int) { return failWith(EIO); }

inline int renameDenied(const char*, const char*, unsigned int) { return failWith(EACCES); }

// Replaces one entry for as long as the result is held.
template <class Call>
std::shared_ptr<void> replace(Call FileCalls::*entry, Call with) {
    callsSoFar = 0;
    return std::make_shared<qxplatform::ScopedFileCall<Call>>(entry, with);
}

}  // namespace qxtest::faults

#endif  // _WIN32
