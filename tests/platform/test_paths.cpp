// The mapping from Windows paths to host paths.
#include "platform_test_support.h"

#include <direct.h>
#include <gtest/gtest.h>

#include <string>

namespace {

using platformtest::ScopedEnvironment;

#ifdef _WIN32

// On Windows a path needs no mapping.
TEST(HostPath, IsThePathItselfOnWindows) {
    EXPECT_EQ(qxplatform::hostPath("c:\\a\\b.ini"), "c:\\a\\b.ini");
}

#else  // The mapping exists on POSIX hosts only.

TEST(HostPath, DrivePathsLieBelowTheDrivesRoot) {
    ScopedEnvironment drives("QX_DRIVES", "/srv/drives");
    EXPECT_EQ(qxplatform::hostPath("c:\\a\\b.ini"), "/srv/drives/c/a/b.ini");
    EXPECT_EQ(qxplatform::hostPath("D:\\Mixed\\Case"), "/srv/drives/d/Mixed/Case");
    EXPECT_EQ(qxplatform::hostPath("c:/forward/slashes"), "/srv/drives/c/forward/slashes");
    EXPECT_EQ(qxplatform::hostPath("c:\\"), "/srv/drives/c");
    EXPECT_EQ(qxplatform::hostPath("c:"), "/srv/drives/c");
    EXPECT_EQ(qxplatform::hostPath("c:relative"), "/srv/drives/c/relative");
    EXPECT_EQ(qxplatform::hostPath("c:\\dir\\"), "/srv/drives/c/dir/");
}

TEST(HostPath, OtherPathsKeepTheirForm) {
    ScopedEnvironment drives("QX_DRIVES", "/srv/drives");
    EXPECT_EQ(qxplatform::hostPath("/etc/zorv/orq.ini"), "/etc/zorv/orq.ini");
    EXPECT_EQ(qxplatform::hostPath("config\\system\\zorv_system.ini"), "config/system/zorv_system.ini");
    EXPECT_EQ(qxplatform::hostPath("plain.ini"), "plain.ini");
    EXPECT_EQ(qxplatform::hostPath(""), "");
}

TEST(HostPath, TheDrivesRootDefaultsToHomeThenTmp) {
    ScopedEnvironment drives("QX_DRIVES", std::nullopt);
    {
        ScopedEnvironment home("HOME", "/home/someone");
        EXPECT_EQ(qxplatform::hostPath("c:\\x"), "/home/someone/.qx/drives/c/x");
    }
    {
        ScopedEnvironment home("HOME", std::nullopt);
        EXPECT_EQ(qxplatform::hostPath("c:\\x"), "/tmp/qx-drives/c/x");
    }
    ScopedEnvironment trailing("QX_DRIVES", "/srv/drives//");
    EXPECT_EQ(qxplatform::hostPath("c:\\x"), "/srv/drives/c/x");
}

TEST(HostPath, FileFunctionsUseTheMapping) {
    platformtest::TestDirectory dir;  // sets QX_DRIVES to a fresh directory
    const auto drives = dir.root() / "drives";

    // A drive's directory appears when first used, as a drive root always
    // exists on Windows.
    EXPECT_TRUE(WritePrivateProfileStringA("S", "k", "v", "e:\\settings.ini"));
    EXPECT_TRUE(std::filesystem::exists(drives / "e" / "settings.ini"));

    EXPECT_EQ(_mkdir("E:\\Logs"), 0);
    EXPECT_TRUE(std::filesystem::is_directory(drives / "e" / "Logs"));

    HANDLE file = CreateFileA("e:\\Logs\\out.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_TRUE(std::filesystem::exists(drives / "e" / "Logs" / "out.txt"));

    // An absolute host path is used as it is.
    const std::string hostFile = (dir.root() / "host.ini").string();
    EXPECT_TRUE(WritePrivateProfileStringA("S", "k", "v", hostFile.c_str()));
    EXPECT_TRUE(std::filesystem::exists(hostFile));
}

#endif

}  // namespace
