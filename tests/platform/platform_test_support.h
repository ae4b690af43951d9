// Helpers for the platform tests: a fresh directory per test, named both as
// a Windows path (for the functions under test) and as a host path (to check
// the results directly), and scoped environment variables.
#pragma once

#include <windows.h>

#include "ScopedEnv.h"
#include "qxplatform.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>

namespace platformtest {

using ScopedEnvironment = qxtest::ScopedEnv;

inline std::filesystem::path freshHostDirectory() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const auto name = "qx-platform-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                      std::to_string(counter.fetch_add(1)) + "-" + std::to_string(random());
    auto path = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(path);
    return path;
}

// A fresh, empty directory for one test, removed at the end. On POSIX hosts
// the drives root (QX_DRIVES) is a fresh directory too and the test directory
// is "c:\work" on that drive, so that the drive mapping is exercised; on
// Windows it is a directory below the temporary directory.
class TestDirectory {
public:
    TestDirectory() : root_(freshHostDirectory()) {
#ifdef _WIN32
        windowsBase_ = root_.string();
        hostBase_ = root_;
#else
        drives_.emplace("QX_DRIVES", (root_ / "drives").string());
        windowsBase_ = "c:\\work";
        hostBase_ = root_ / "drives" / "c" / "work";
        std::filesystem::create_directories(hostBase_);
#endif
    }
    ~TestDirectory() {
        drives_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TestDirectory(const TestDirectory&) = delete;
    TestDirectory& operator=(const TestDirectory&) = delete;

    // The Windows path of an entry ("sub\\name.ini" style relative names).
    std::string windowsPath(const std::string& name) const { return windowsBase_ + "\\" + name; }

    // The host path of the same entry.
    std::filesystem::path hostPath(const std::string& name) const {
        std::string relative = name;
        for (char& c : relative) {
            if (c == '\\') c = '/';
        }
        return hostBase_ / relative;
    }

    std::filesystem::path root() const { return root_; }

    void writeText(const std::string& name, const std::string& text) const {
        std::ofstream out(hostPath(name), std::ios::binary | std::ios::trunc);
        out << text;
    }

    std::string readText(const std::string& name) const {
        std::ifstream in(hostPath(name), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    bool exists(const std::string& name) const { return std::filesystem::exists(hostPath(name)); }

private:
    std::filesystem::path root_;
    std::string windowsBase_;
    std::filesystem::path hostBase_;
    std::optional<ScopedEnvironment> drives_;
};

}  // namespace platformtest
