// The file functions under injected file-system faults: each fails with the
// Win32 error that matches the errno, and a profile write leaves the old file
// whole with nothing beside it.
//
// Posix only: the faults go through our layer's table of file-system calls,
// which the Windows build does not have.
#ifndef _WIN32

#include "FileFaults.h"
#include "platform_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace qxtest::faults;
using platformtest::TestDirectory;

const std::string kOriginal = "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n; a comment long enough to need a second read\r\n";

struct Case {
    const char* name;
    std::function<std::shared_ptr<void>()> fault;
    std::function<BOOL(const TestDirectory&)> call;
    DWORD error;
};

BOOL writeProfile(const TestDirectory& dir) {
    return WritePrivateProfileStringA("B", "y", "3", dir.windowsPath("test.ini").c_str());
}

BOOL writeFile(const TestDirectory& dir) {
    const HANDLE file = CreateFileA(dir.windowsPath("other.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const BOOL result = WriteFile(file, "0123456789", 10, &written, nullptr);
    const DWORD error = GetLastError();
    CloseHandle(file);
    DeleteFileA(dir.windowsPath("other.bin").c_str());
    SetLastError(error);
    return result;
}

BOOL moveFile(const TestDirectory& dir) {
    return MoveFileExA(dir.windowsPath("test.ini").c_str(), dir.windowsPath("moved.ini").c_str(),
                       MOVEFILE_REPLACE_EXISTING);
}

TEST(FileFaults, EachCallFailsWithItsErrorAndKeepsTheFileWhole) {
    const std::vector<Case> cases{
        {"profile, disk full", [] { return replace(&FileCalls::write, &writeNoSpace); }, writeProfile,
         ERROR_DISK_FULL},
        {"profile, EIO after a short write", [] { return replace(&FileCalls::write, &writeHalfThenEio); },
         writeProfile, ERROR_ACCESS_DENIED},
        {"profile, fsync EIO", [] { return replace(&FileCalls::fsync, &fsyncEio); }, writeProfile,
         ERROR_ACCESS_DENIED},
        {"profile, rename denied", [] { return replace(&FileCalls::rename, &renameDenied); }, writeProfile,
         ERROR_ACCESS_DENIED},
        {"profile, EIO part way through reading", [] { return replace(&FileCalls::read, &readSomeThenEio); },
         writeProfile, ERROR_ACCESS_DENIED},
        {"WriteFile, disk full", [] { return replace(&FileCalls::write, &writeNoSpace); }, writeFile,
         ERROR_DISK_FULL},
        {"MoveFileExA, rename denied", [] { return replace(&FileCalls::rename, &renameDenied); }, moveFile,
         ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestDirectory dir;
        dir.writeText("test.ini", kOriginal);
        BOOL result;
        DWORD error;
        {
            const auto held = c.fault();
            result = c.call(dir);
            error = GetLastError();
        }
        EXPECT_FALSE(result);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(dir.readText("test.ini"), kOriginal);
        const auto entries = std::distance(std::filesystem::directory_iterator(dir.hostPath("")), {});
        EXPECT_EQ(entries, 1);  // no temporary file left
    }
}

TEST(FileFaults, TheGuardRestoresTheSystemCall) {
    {
        const auto held = replace(&FileCalls::write, &writeNoSpace);
        EXPECT_EQ(qxplatform::fileCalls().write, &writeNoSpace);
    }
    EXPECT_EQ(qxplatform::fileCalls().write, qxplatform::systemFileCalls().write);
}

}  // namespace

#endif  // _WIN32
