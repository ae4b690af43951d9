// A fresh directory below the system's temporary directory, removed with
// everything in it at the end. Its path serves as a Windows path too: an
// absolute POSIX path passes the drive mapping unchanged.
#pragma once

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

namespace qxtest {

class TempDir {
public:
    explicit TempDir(const std::string& prefix) {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                (prefix + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string path() const { return path_.string(); }
    void write(const std::string& file, const std::string& text) const { std::ofstream(path_ / file) << text; }

private:
    std::filesystem::path path_;
};

}  // namespace qxtest
