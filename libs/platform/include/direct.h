// The C runtime's directory functions, on Windows paths mapped to host paths.
#pragma once

extern "C" {
// Creates one directory level; returns 0, or -1 with errno set.
int _mkdir(const char* dirname);
}
