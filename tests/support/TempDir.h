// A fresh directory below the system's temporary directory, removed with
// everything in it on destruction. Its path is usable as a Windows path: on
// POSIX hosts an absolute POSIX path is passed through unchanged.
#pragma once

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace qxtest {

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "qx-") {
        static std::atomic<int> counter{0};
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                (prefix + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++) + "-" +
                 std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string win() const { return path_.string(); }
    const std::filesystem::path& host() const { return path_; }
    // Writes a file of the directory, replacing it.
    void write(const std::string& file, const std::string& text) const { std::ofstream(path_ / file) << text; }

private:
    std::filesystem::path path_;
};

}  // namespace qxtest
