#include "ZorvText.h"

#include <climits>

#include "ZorvErrors.h"

namespace ZorvClientLibrary {

namespace {

constexpr const char* nullText = "NULLPTR is not supported for this conversion.";
constexpr const char* narrowFailed =
    "Conversion from WideChar to MultiByte failed.  Please check the content of the string and/or locale settings.";
constexpr const char* widenFailed =
    "Conversion from MultiByte to WideChar failed.  Please check the content of the string and/or locale settings.";

int lengthOf(std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX)) throw ArgumentOutOfRangeError("Size of string exceeds INT_MAX.");
    return static_cast<int>(size);
}

}  // namespace

bool narrow(UINT codePage, DWORD flags, std::u16string_view wide, std::string& bytes) {
    static_assert(sizeof(WCHAR) == sizeof(char16_t));
    bytes.clear();
    if (wide.empty()) return true;
    const int length = lengthOf(wide.size());
    const auto* units = reinterpret_cast<LPCWSTR>(wide.data());
    const int size = WideCharToMultiByte(codePage, flags, units, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return false;
    bytes.resize(static_cast<std::size_t>(size));
    return WideCharToMultiByte(codePage, flags, units, length, bytes.data(), size, nullptr, nullptr) == size;
}

bool widen(UINT codePage, std::string_view bytes, std::u16string& wide) {
    wide.clear();
    if (bytes.empty()) return true;
    const int length = lengthOf(bytes.size());
    const int size = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    if (size <= 0) return false;
    wide.resize(static_cast<std::size_t>(size));
    return MultiByteToWideChar(codePage, 0, bytes.data(), length, reinterpret_cast<LPWSTR>(wide.data()), size) ==
           size;
}

std::string text(const String& x) {
    if (x.isNull()) throw ArgumentNullError(nullText);
    std::string bytes;
    if (narrow(CP_THREAD_ACP, WC_NO_BEST_FIT_CHARS, x.view(), bytes)) return bytes;
    // A code page that holds every character (UTF-8) refuses the best-fit
    // flag, which means nothing to it: convert without it.
    if (GetLastError() == ERROR_INVALID_FLAGS && narrow(CP_THREAD_ACP, 0, x.view(), bytes)) return bytes;
    throw ArgumentError(narrowFailed);
}

String unicode(std::string_view s) {
    std::u16string wide;
    if (!widen(CP_THREAD_ACP, s, wide)) throw ArgumentError(widenFailed);
    return String(std::move(wide));
}

String unicodeAt(const char* characters) {
    if (characters == nullptr) return String();
    std::u16string wide;
    if (!widen(CP_ACP, characters, wide)) throw ArgumentError(widenFailed);
    return String(std::move(wide));
}

}  // namespace ZorvClientLibrary
