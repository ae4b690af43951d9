// Conversions between the public Unicode text and the native client's 8-bit
// text, through the platform's code-page functions.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "ZorvString.h"

namespace ZorvClientLibrary {

// x in the calling thread's ANSI code page (code page 3) without best-fit
// mapping: a character the code page lacks becomes its default character.
// Raises ArgumentNullError for a null x and ArgumentError when the
// conversion fails.
std::string text(const String& x);

// Every byte of s, zero bytes included, read in the calling thread's ANSI
// code page. Raises ArgumentError when the conversion fails and
// ArgumentOutOfRangeError for more than INT_MAX bytes.
String unicode(std::string_view s);

// The zero-terminated text at `characters` in the system's ANSI code page;
// null for a null pointer.
String unicodeAt(const char* characters);

// The platform's conversions of a whole text; false when the platform
// refuses (its last error says why). Both raise ArgumentOutOfRangeError for
// a text longer than INT_MAX.
bool narrow(UINT codePage, DWORD flags, std::u16string_view wide, std::string& bytes);
bool widen(UINT codePage, std::string_view bytes, std::u16string& wide);

}  // namespace ZorvClientLibrary
