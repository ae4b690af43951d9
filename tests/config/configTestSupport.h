// Test helpers: scoped environment variables, fresh temporary directories,
// files addressed by Windows path, and a fixture with an isolated environment.
#pragma once

#include <qxplatform.h>

#include "ScopedEnv.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace cfgtest {

using ScopedEnv = qxtest::ScopedEnv;

using TempDir = qxtest::TempDir;

inline std::filesystem::path hostOf(const std::string& windowsPath) {
    return std::filesystem::path(qxplatform::hostPath(windowsPath));
}

inline void writeText(const std::string& windowsPath, const std::string& text) {
    const auto path = hostOf(windowsPath);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The file's text with CR LF read as LF, as the library reads it.
inline std::string readText(const std::string& windowsPath) {
    std::ifstream in(hostOf(windowsPath), std::ios::binary);
    std::stringstream raw;
    raw << in.rdbuf();
    std::string text;
    const std::string all = raw.str();
    for (std::size_t i = 0; i < all.size(); ++i)
        if (!(all[i] == '\r' && i + 1 < all.size() && all[i + 1] == '\n')) text += all[i];
    return text;
}

inline bool exists(const std::string& windowsPath) {
    return std::filesystem::exists(hostOf(windowsPath));
}

inline void makeDirectory(const std::string& windowsPath) {
    std::filesystem::create_directories(hostOf(windowsPath));
}

// The configuration variables all absent, drive paths ("c:\...") mapped into
// a fresh directory where the platform maps them, and helpers to select
// system mode or the WINDIR layout inside a fresh root.
class ConfigTest : public ::testing::Test {
protected:
    ConfigTest() {
        for (ScopedEnv* variable : {&root_, &system_, &workstation_, &developer_, &windir_}) variable->unset();
#ifndef _WIN32
        drivesVariable_.set(drives_.win());
#endif
        temporaryVariable_.set(temporaryFiles.win());
        removeConfigIni();
    }
    ~ConfigTest() override { removeConfigIni(); }

    static constexpr const char* configIni = "c:\\zorv_config.ini";

    // QX_ROOT = <root>, QX_SYSTEM = S; returns the configuration directory.
    std::string useSystemMode() {
        root_.set(rootDir.win());
        system_.set("S");
        const std::string config = rootDir.win() + "\\S\\config";
        makeDirectory(config);
        return config;
    }

    // Outside system mode with WINDIR = <root>\windows; returns that directory.
    std::string useWindir() {
        const std::string windows = rootDir.win() + "\\windows";
        windir_.set(windows);
        makeDirectory(windows);
        return windows;
    }

    void writeConfigIni(const std::string& configPath) {
        writeText(configIni, "[Config]\nConfigPath=" + configPath + "\n");
    }

    static void removeConfigIni() {
        std::error_code ignored;
        std::filesystem::remove(hostOf(configIni), ignored);
    }

    TempDir drives_;
    TempDir rootDir;
    TempDir temporaryFiles;  // the user's temporary directory, where write locks live
    ScopedEnv temporaryVariable_{"TMP"};
    ScopedEnv drivesVariable_{"QX_DRIVES"};
    ScopedEnv root_{"QX_ROOT"};
    ScopedEnv system_{"QX_SYSTEM"};
    ScopedEnv workstation_{"QX_WORKSTATION"};
    ScopedEnv developer_{"QX_DEVELOPER"};
    ScopedEnv windir_{"WINDIR"};
};

}  // namespace cfgtest
