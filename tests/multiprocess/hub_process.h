// What the tests of a client against orq-hub running as a process of its own
// share: a callback that keeps what arrives, and a fixture that starts hubs
// on a fresh copy of the sample facility.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "orqWindowClass.h"
#include "qxClient.h"

namespace mp {

// Keeps every revertive as a text ("RR 1 5 7") and counts the connection
// notifications; onRevertive, when set, runs inside each revertive's callback.
class Revertives : public IqxClientCallback {
public:
    std::vector<std::string> texts;
    int connects = 0;
    int disconnects = 0;
    std::function<void()> onRevertive;

    void connected() override { ++connects; }
    void disconnected() override { ++disconnects; }
    void infoRevertive(int d, int s, const std::string& v) override { add("IR", d, s, v); }
    void routerRevertive(int d, int i, int s) override { add("RR", d, i, std::to_string(s)); }
    void gpiRevertive(int d, int i, bool s) override { add("GR", d, i, s ? "1" : "0"); }
    void databaseChange(int, int, int) override {}
    void deviceMode(int, int, qx::redundancyState) override {}
    void deviceMessage(int, int, const std::string&, int) override {}
    void pollError(int, int) override {}
    void configChangeMessage(const std::string&) override {}
    bool has(const std::string& text) const { return std::find(texts.begin(), texts.end(), text) != texts.end(); }

private:
    void add(const char* kind, int device, int index, const std::string& value) {
        texts.push_back(std::string(kind) + " " + std::to_string(device) + " " + std::to_string(index) + " " + value);
        if (onRevertive) onRevertive();
    }
};

class HubProcess : public ::testing::Test {
protected:
    void SetUp() override {
        facility = std::filesystem::temp_directory_path() / ("qx-hub-process-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::remove_all(facility);
        std::filesystem::copy(ZORV_FACILITY_DIR, facility);
    }
    void TearDown() override {
        hubs.clear();
        std::error_code ignored;
        std::filesystem::remove_all(facility, ignored);
    }

    // Starts orq-hub with the given options besides its facility and waits
    // for its window.
    HWND startHub(const std::vector<std::string>& options = {}) {
        std::vector<std::string> arguments{"-q", "-c", facility.string()};
        arguments.insert(arguments.end(), options.begin(), options.end());
        hubs.push_back(std::make_unique<ChildProcess>(arguments, siblingProgram("orq-hub")));
        HWND window = nullptr;
        pumpUntilTrue([&] { return (window = FindWindowA(orqWindowClass, nullptr)) != nullptr; }, kPatience);
        return window;
    }

    std::filesystem::path facility;
    std::vector<std::unique_ptr<ChildProcess>> hubs;
};

}  // namespace mp
