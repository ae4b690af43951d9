// Marks a function that a stand-in library exports to its callers.
#pragma once

#ifdef _WIN32
#define QX_EXPORT __declspec(dllexport)
#else
#define QX_EXPORT __attribute__((visibility("default")))
#endif
