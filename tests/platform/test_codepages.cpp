// Code-page conversions between UTF-16 wide text and 8-bit text.
#include "platform_test_support.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace {

// WCHAR is char16_t on our backend and wchar_t on Windows: build wide text
// from code units.
using Wide = std::basic_string<WCHAR>;
Wide wide(std::initializer_list<unsigned> units) {
    Wide text;
    for (unsigned unit : units) text += static_cast<WCHAR>(unit);
    return text;
}

constexpr UINT kWindows1252 = 1252;
constexpr UINT kLatin1 = 28591;

Wide toWide(UINT codePage, const std::string& bytes, DWORD flags = 0) {
    const int size = MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    Wide text(static_cast<size_t>(size), WCHAR(0));
    if (size > 0) {
        MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
    }
    return text;
}

std::string toBytes(UINT codePage, const Wide& text, BOOL* usedDefault = nullptr, const char* defaultChar = nullptr,
                    DWORD flags = 0) {
    const int size = WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         defaultChar, usedDefault);
    std::string bytes(static_cast<size_t>(size), '\0');
    if (size > 0) {
        WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                            defaultChar, usedDefault);
    }
    return bytes;
}

TEST(CodePages, Windows1252MapsItsHighHalfAsWindowsDoes) {
    EXPECT_EQ(toWide(kWindows1252, "\x80"), wide({0x20AC}));  // the euro sign
    EXPECT_EQ(toWide(kWindows1252, "\x8A\x9F\xA9\xFF"), wide({0x0160, 0x0178, 0x00A9, 0x00FF}));
    // The five bytes the code page leaves undefined map to C1 controls.
    EXPECT_EQ(toWide(kWindows1252, "\x81\x8D\x8F\x90\x9D"), wide({0x81, 0x8D, 0x8F, 0x90, 0x9D}));

    std::string all;
    for (int byte = 1; byte < 256; ++byte) all += static_cast<char>(byte);
    BOOL usedDefault = TRUE;
    EXPECT_EQ(toBytes(kWindows1252, toWide(kWindows1252, all), &usedDefault), all);
    EXPECT_FALSE(usedDefault);
}

TEST(CodePages, UnmappableCharactersBecomeTheDefaultCharacter) {
    const Wide text = wide({'a', 0x4E2D, 'b'});  // a CJK ideograph has no 1252 form
    BOOL usedDefault = FALSE;
    EXPECT_EQ(toBytes(kWindows1252, text, &usedDefault, nullptr, WC_NO_BEST_FIT_CHARS), "a?b");
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ(toBytes(kWindows1252, text, nullptr, "*", WC_NO_BEST_FIT_CHARS), "a*b");
    EXPECT_EQ(toBytes(kLatin1, wide({0x20AC, 0xE9}), &usedDefault, nullptr, WC_NO_BEST_FIT_CHARS), "?\xE9");
    EXPECT_TRUE(usedDefault);
}

TEST(CodePages, Latin1IsTheFirst256CodePoints) {
    EXPECT_EQ(toWide(kLatin1, "\x80\xE9"), wide({0x80, 0xE9}));
}

TEST(CodePages, Utf8RoundTripsIncludingSurrogatePairs) {
    const std::string utf8 = "A\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E";  // A, e acute, euro, G clef
    const Wide text = wide({'A', 0xE9, 0x20AC, 0xD834, 0xDD1E});
    EXPECT_EQ(toWide(CP_UTF8, utf8), text);
    EXPECT_EQ(toBytes(CP_UTF8, text), utf8);
}

TEST(CodePages, InvalidUtf8IsReplacedOrRefused) {
    EXPECT_EQ(toWide(CP_UTF8, "a\xFF" "b"), wide({'a', 0xFFFD, 'b'}));
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xFF", 2, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(CodePages, TerminatorsSizesAndShortBuffers) {
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, nullptr, 0), 4);  // -1 counts the terminator
    WCHAR wideBuffer[8];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, wideBuffer, 8), 4);
    EXPECT_EQ(wideBuffer[3], WCHAR(0));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, wideBuffer, 8), 3);

    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, wideBuffer, 3), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    const Wide text = wide({'x', 0x20AC, 0});
    char bytes[8];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text.data(), -1, nullptr, 0, nullptr, nullptr), 5);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text.data(), -1, bytes, 8, nullptr, nullptr), 5);
    EXPECT_STREQ(bytes, "x\xE2\x82\xAC");
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text.data(), -1, bytes, 2, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

// The rest runs on our backend only, each for the reason given.
#ifndef _WIN32

// The ANSI code page of a Windows process follows the system's locale and
// cannot be switched by the process.
TEST(AnsiCodePage, IsWindows1252UnlessSwitched) {
    EXPECT_EQ(GetACP(), kWindows1252);
    EXPECT_EQ(toWide(CP_ACP, "\x80"), wide({0x20AC}));

    ASSERT_TRUE(qxplatform::setAnsiCodePage(CP_UTF8));
    EXPECT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
    EXPECT_EQ(toWide(CP_ACP, "\xE2\x82\xAC"), wide({0x20AC}));
    EXPECT_EQ(toBytes(CP_THREAD_ACP, wide({0x20AC})), "\xE2\x82\xAC");

    ASSERT_TRUE(qxplatform::setAnsiCodePage(kLatin1));
    EXPECT_EQ(toWide(CP_ACP, "\x80"), wide({0x80}));

    EXPECT_FALSE(qxplatform::setAnsiCodePage(437));
    EXPECT_EQ(GetACP(), kLatin1);
    ASSERT_TRUE(qxplatform::setAnsiCodePage(kWindows1252));
}

// How a lone surrogate or a pair becomes single-byte text differs between
// Windows versions.
TEST(CodePages, LoneSurrogatesAreReplaced) {
    EXPECT_EQ(toBytes(CP_UTF8, wide({'a', 0xD800, 'b'})), "a\xEF\xBF\xBD" "b");
    BOOL usedDefault = FALSE;
    EXPECT_EQ(toBytes(kWindows1252, wide({0xDC00}), &usedDefault), "?");
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ(toBytes(kWindows1252, wide({0xD834, 0xDD1E}), &usedDefault), "?");  // one character, one '?'
}

// Documented for Windows; Wine accepts the arguments and ignores them.
TEST(CodePages, Utf8TakesNoDefaultCharacter) {
    const Wide text = wide({'x'});
    BOOL usedDefault = FALSE;
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text.data(), 1, nullptr, 0, nullptr, &usedDefault), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// Windows knows far more code pages than we do (437 is its OEM code page).
TEST(CodePages, UnsupportedCodePagesAreRefused) {
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(437, 0, "a", 1, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

#endif

}  // namespace
