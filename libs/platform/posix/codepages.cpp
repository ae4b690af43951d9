// Code-page conversions between UTF-16 wide text and the 8-bit code pages
// Windows-1252 (the default ANSI code page), ISO 8859-1 (28591) and UTF-8.
//
// Characters without an equivalent in a single-byte code page become the
// default character; there is no best-fit mapping (as with
// WC_NO_BEST_FIT_CHARS on Windows).
#include "qxplatform.h"

#include <atomic>
#include <string>

namespace {

constexpr UINT kWindows1252 = 1252;
constexpr UINT kLatin1 = 28591;

std::atomic<UINT> ansiCodePage{kWindows1252};

// Windows-1252 bytes 0x80..0x9F; the five bytes that the code page leaves
// undefined map to the C1 control of the same number, as on Windows.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char32_t kReplacement = 0xFFFD;

UINT resolve(UINT codePage) {
    return (codePage == CP_ACP || codePage == CP_THREAD_ACP) ? ansiCodePage.load() : codePage;
}

bool isSupported(UINT codePage) {
    return codePage == kWindows1252 || codePage == kLatin1 || codePage == CP_UTF8;
}

bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

char16_t singleByteToWide(UINT codePage, unsigned char byte) {
    if (codePage == kWindows1252 && byte >= 0x80 && byte <= 0x9F) return kWindows1252High[byte - 0x80];
    return byte;
}

// The byte for a code point in a single-byte code page, or -1.
int wideToSingleByte(UINT codePage, char32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) return static_cast<int>(codePoint);
    if (codePage == kLatin1) return codePoint <= 0xFF ? static_cast<int>(codePoint) : -1;
    for (int i = 0; i < 32; ++i) {
        if (kWindows1252High[i] == codePoint) return 0x80 + i;
    }
    return -1;
}

void appendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

void appendUtf16(std::u16string& out, char32_t codePoint) {
    if (codePoint < 0x10000) {
        out += static_cast<char16_t>(codePoint);
    } else {
        codePoint -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (codePoint >> 10));
        out += static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
    }
}

// Decodes one UTF-8 sequence at text[i], advancing i. An invalid sequence
// yields U+FFFD and consumes its longest valid beginning (at least one byte).
char32_t decodeUtf8(const unsigned char* text, size_t length, size_t& i, bool& valid) {
    const unsigned char lead = text[i++];
    valid = true;
    if (lead < 0x80) return lead;
    int continuation;
    char32_t codePoint;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        continuation = 1, codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        continuation = 2, codePoint = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no encoded surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        continuation = 3, codePoint = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        valid = false;
        return kReplacement;
    }
    for (int n = 0; n < continuation; ++n) {
        const unsigned char next = i < length ? text[i] : 0;
        const bool inRange = n == 0 ? (next >= low && next <= high) : (next >= 0x80 && next <= 0xBF);
        if (i >= length || !inRange) {
            valid = false;
            return kReplacement;
        }
        codePoint = (codePoint << 6) | (next & 0x3F);
        ++i;
    }
    return codePoint;
}

// Decodes one UTF-16 code point at text[i], advancing i; a lone surrogate is
// returned as it is and reported as invalid.
char32_t decodeUtf16(const WCHAR* text, size_t length, size_t& i, bool& valid) {
    const char32_t unit = text[i++];
    valid = true;
    if (isHighSurrogate(unit) && i < length && isLowSurrogate(text[i])) {
        return 0x10000 + ((unit - 0xD800) << 10) + (text[i++] - 0xDC00);
    }
    valid = !isHighSurrogate(unit) && !isLowSurrogate(unit);
    return unit;
}

size_t lengthOf(const char* text) {
    size_t length = 0;
    while (text[length]) ++length;
    return length;
}

size_t lengthOf(const WCHAR* text) {
    size_t length = 0;
    while (text[length]) ++length;
    return length;
}

// Copies a converted text to the caller's buffer: the size needed when the
// buffer size is 0, else the count written, or 0 when it does not fit.
template <typename Text, typename Char>
int deliver(const Text& converted, Char* buffer, int bufferSize) {
    const int needed = static_cast<int>(converted.size());
    if (bufferSize == 0) return needed;
    if (needed > bufferSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (int i = 0; i < needed; ++i) buffer[i] = static_cast<Char>(converted[static_cast<size_t>(i)]);
    return needed;
}

}  // namespace

extern "C" {

UINT GetACP() {
    return ansiCodePage.load();
}

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte, LPWSTR lpWideCharStr,
                        int cchWideChar) {
    const UINT codePage = resolve(CodePage);
    if (!lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (cchWideChar > 0 && !lpWideCharStr) || !isSupported(codePage)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t length = cbMultiByte == -1 ? lengthOf(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
    const auto* bytes = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
    std::u16string converted;
    converted.reserve(length);
    if (codePage == CP_UTF8) {
        for (size_t i = 0; i < length;) {
            bool valid;
            const char32_t codePoint = decodeUtf8(bytes, length, i, valid);
            if (!valid && (dwFlags & MB_ERR_INVALID_CHARS)) {
                SetLastError(ERROR_NO_UNICODE_TRANSLATION);
                return 0;
            }
            appendUtf16(converted, codePoint);
        }
    } else {
        for (size_t i = 0; i < length; ++i) converted += singleByteToWide(codePage, bytes[i]);
    }
    return deliver(converted, lpWideCharStr, cchWideChar);
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar, LPSTR lpMultiByteStr,
                        int cbMultiByte, LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar) {
    const UINT codePage = resolve(CodePage);
    if (!lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && !lpMultiByteStr) || !isSupported(codePage)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (codePage == CP_UTF8) {
        // As on Windows: UTF-8 has no default character and takes no flags
        // but WC_ERR_INVALID_CHARS.
        if (lpDefaultChar || lpUsedDefaultChar) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        if (dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) {
            SetLastError(ERROR_INVALID_FLAGS);
            return 0;
        }
    }
    const size_t length = cchWideChar == -1 ? lengthOf(lpWideCharStr) + 1 : static_cast<size_t>(cchWideChar);
    const char defaultChar = lpDefaultChar ? lpDefaultChar[0] : '?';
    bool usedDefault = false;
    std::string converted;
    converted.reserve(length);
    for (size_t i = 0; i < length;) {
        bool valid;
        const char32_t codePoint = decodeUtf16(lpWideCharStr, length, i, valid);
        if (codePage == CP_UTF8) {
            if (!valid && (dwFlags & WC_ERR_INVALID_CHARS)) {
                SetLastError(ERROR_NO_UNICODE_TRANSLATION);
                return 0;
            }
            appendUtf8(converted, valid ? codePoint : kReplacement);
            continue;
        }
        const int byte = valid ? wideToSingleByte(codePage, codePoint) : -1;
        if (byte < 0) usedDefault = true;
        converted += byte < 0 ? defaultChar : static_cast<char>(byte);
    }
    if (lpUsedDefaultChar) *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
    return deliver(converted, lpMultiByteStr, cbMultiByte);
}

}  // extern "C"

namespace qxplatform {

bool setAnsiCodePage(UINT codePage) {
    if (codePage != kWindows1252 && codePage != kLatin1 && codePage != CP_UTF8) return false;
    ansiCodePage.store(codePage);
    return true;
}

}  // namespace qxplatform
