// Loading libraries by their Windows names.
#include "platform_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace {

using Twice = int (*)(int);

Twice twiceOf(HMODULE library) {
    return reinterpret_cast<Twice>(GetProcAddress(library, "qxtestlibTwice"));
}

TEST(Library, LoadsByWindowsNameAndFindsExports) {
    for (const char* name : {"qxtestlib.dll", "qxtestlib.DLL", "qxtestlib"}) {
        HMODULE library = LoadLibraryA(name);
        ASSERT_NE(library, nullptr) << name;
        const Twice twice = twiceOf(library);
        ASSERT_NE(twice, nullptr);
        EXPECT_EQ(twice(21), 42);
        EXPECT_EQ(GetModuleHandleA(name), library);

        SetLastError(0);
        EXPECT_EQ(GetProcAddress(library, "noSuchExport"), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
        EXPECT_TRUE(FreeLibrary(library));
    }
}

TEST(Library, MissingLibrariesAreReported) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA("qxNoSuchLibrary.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(GetModuleHandleA("qxNoSuchLibrary.dll"), nullptr);
    EXPECT_NE(GetModuleHandleA(nullptr), nullptr);  // the program itself
}

// Our shared objects export names only, while a Windows DLL also has
// ordinals; and QX_DLL_PATH is our own search path: these run on our
// backend only.
#ifndef _WIN32

TEST(Library, OrdinalsAreNotFound) {
    HMODULE library = LoadLibraryA("qxtestlib.dll");
    ASSERT_NE(library, nullptr);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(library, MAKEINTRESOURCEA(1)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    FreeLibrary(library);
}

std::filesystem::path programDirectory() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

std::string fileOf(Twice function) {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(function), &info) || !info.dli_fname) return {};
    return info.dli_fname;
}

TEST(Library, SearchesQxDllPathFirst) {
    const auto dir = platformtest::freshHostDirectory();
    const auto first = dir / "first", second = dir / "second";
    std::filesystem::create_directories(first);
    std::filesystem::create_directories(second);
    const auto original = programDirectory() / "libqxtestlib.so";
    std::filesystem::copy_file(original, second / "libqxcopy.so");
    std::filesystem::copy_file(original, second / "libqxtestlib.so");

    platformtest::ScopedEnvironment path("QX_DLL_PATH", first.string() + "::" + second.string());
    HMODULE copy = LoadLibraryA("qxcopy.dll");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(fileOf(twiceOf(copy)), (second / "libqxcopy.so").string());
    FreeLibrary(copy);

    HMODULE preferred = LoadLibraryA("qxtestlib.dll");  // QX_DLL_PATH before the program's directory
    ASSERT_NE(preferred, nullptr);
    EXPECT_EQ(fileOf(twiceOf(preferred)), (second / "libqxtestlib.so").string());
    FreeLibrary(preferred);

    // A name with a directory is looked for there only.
    const std::string withDirectory = (second / "qxcopy.dll").string();
    HMODULE direct = LoadLibraryA(withDirectory.c_str());
    ASSERT_NE(direct, nullptr);
    FreeLibrary(direct);
    EXPECT_EQ(LoadLibraryA((first / "qxcopy.dll").string().c_str()), nullptr);

    std::filesystem::remove_all(dir);
}

#endif

}  // namespace
