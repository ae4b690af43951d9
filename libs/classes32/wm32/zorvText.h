// Wire text helpers: formatting without a fixed bound, and numbers read with
// the C library's atoi rules.
#pragma once

#include <string>

#if defined(__GNUC__) && !defined(_WIN32)
#define ZORV_PRINTF_FORMAT __attribute__((format(printf, 1, 2)))
#else
#define ZORV_PRINTF_FORMAT
#endif

// printf-style formatting into a string of whatever length the text needs.
std::string formatText(const char* format, ...) ZORV_PRINTF_FORMAT;

// Leading blanks skipped, optional sign, decimal digits up to the first other
// character; no digits gives 0. Saturates at the 32-bit bounds instead of
// overflowing.
int wireToInt(const char* text);
inline int wireToInt(const std::string& text) { return wireToInt(text.c_str()); }
