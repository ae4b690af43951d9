// Environment variables through the Win32 functions.
#include "platform_test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Environment, SetGetAndDelete) {
    const char* name = "QX_PLATFORM_TEST_VARIABLE";
    ASSERT_TRUE(SetEnvironmentVariableA(name, "value"));
    char buffer[16];
    EXPECT_EQ(GetEnvironmentVariableA(name, buffer, sizeof buffer), 5u);
    EXPECT_STREQ(buffer, "value");

    // Too small a buffer: the size needed, terminator included.
    EXPECT_EQ(GetEnvironmentVariableA(name, buffer, 5), 6u);
    EXPECT_EQ(GetEnvironmentVariableA(name, nullptr, 0), 6u);
    EXPECT_EQ(GetEnvironmentVariableA(name, buffer, 6), 5u);

    ASSERT_TRUE(SetEnvironmentVariableA(name, nullptr));
    SetLastError(0);
    EXPECT_EQ(GetEnvironmentVariableA(name, buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
}

// On Windows SetEnvironmentVariableA changes the process environment block,
// not the C runtime's copy that getenv reads; ours share one environment.
#ifndef _WIN32
TEST(Environment, IsTheOneThatGetenvReads) {
    const char* name = "QX_PLATFORM_TEST_SHARED";
    ASSERT_TRUE(SetEnvironmentVariableA(name, "seen"));
    ASSERT_NE(std::getenv(name), nullptr);
    EXPECT_STREQ(std::getenv(name), "seen");
    SetEnvironmentVariableA(name, nullptr);
    EXPECT_EQ(std::getenv(name), nullptr);
}
#endif

}  // namespace
