// String and the conversions between public and native text.
#include <climits>

#include "ZorvText.h"
#include "zorvClientTestSupport.h"

namespace zorvtest {
namespace {

TEST(ZorvString, NullDiffersFromEmpty) {
    EXPECT_TRUE(String(static_cast<const char16_t*>(nullptr)).isNull());
    EXPECT_EQ(String(), String(nullptr));
    EXPECT_NE(String(), String(u""));
    EXPECT_EQ(String(u"ab"), String(std::u16string(u"ab")));
}

TEST(ZorvString, Utf8BothWays) {
    const String text = String::fromUtf8("Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9D\x84\x9E");
    EXPECT_EQ(text, String(u"Grüße € \U0001D11E"));
    EXPECT_EQ(text.toUtf8(), "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9D\x84\x9E");
    EXPECT_TRUE(String::fromUtf8(nullptr).isNull());
    EXPECT_EQ(String().toUtf8(), "");
    EXPECT_EQ(String::fromUtf8("a\xFF"), String(u"a\uFFFD"));
}

// The ANSI code page is Windows-1252 here and in the Wine prefix the tests
// run in. Our layer has no best-fit mapping at all; Wine has, and turns
// A-macron into 'A' unless the conversion asks for none.
TEST(ZorvText, NarrowsWithoutBestFit) {
    ASSERT_EQ(GetACP(), 1252u);
    EXPECT_EQ(text(u""), "");
    EXPECT_EQ(text(u"on air"), "on air");
    EXPECT_EQ(text(u"\u00E9\u20AC"), "\xE9\x80");
    EXPECT_EQ(text(u"\u0100\u4E2Dx"), "??x");
}

TEST(ZorvText, NullIsAnArgumentNullError) {
    try {
        text(String());
        FAIL() << "no error";
    } catch (const ArgumentNullError& error) {
        EXPECT_STREQ(error.what(), "NULLPTR is not supported for this conversion.");
    }
    EXPECT_THROW(text(nullptr), std::invalid_argument);
}

TEST(ZorvText, WidensEveryByte) {
    EXPECT_EQ(unicode(std::string("\xE9\x80")), String(u"\u00E9\u20AC"));
    EXPECT_EQ(unicode(std::string("a\0b", 3)), String(std::u16string(u"a\0b", 3)));
    EXPECT_EQ(unicode(std::string()), String(u""));
}

TEST(ZorvText, MoreThanIntMaxBytesIsOutOfRange) {
    const char byte = 'x';
    // Refused before a byte is read.
    const std::string_view huge(&byte, static_cast<std::size_t>(INT_MAX) + 1);
    try {
        unicode(huge);
        FAIL() << "no error";
    } catch (const std::out_of_range& error) {
        EXPECT_STREQ(error.what(), "Size of string exceeds INT_MAX.");
    }
}

#ifndef _WIN32
// A process of ours can select UTF-8 as its ANSI code page; on Windows the
// system decides. UTF-8 refuses the best-fit flag, and text converts without it.
TEST(ZorvText, AUtf8AnsiCodePageTakesEveryCharacter) {
    ASSERT_TRUE(qxplatform::setAnsiCodePage(CP_UTF8));
    std::string converted;
    EXPECT_NO_THROW(converted = text(u"\u00E9\u4E2D"));
    qxplatform::setAnsiCodePage(1252);
    EXPECT_EQ(converted, "\xC3\xA9\xE4\xB8\xAD");
}
#endif

}  // namespace
}  // namespace zorvtest
