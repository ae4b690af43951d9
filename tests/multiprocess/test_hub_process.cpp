// A client in this process against the hub stand-in running as a process of
// its own (orq-hub, built beside this program).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "child_process.h"
#include "orqWindowClass.h"
#include "qxClient.h"

namespace {

class Revertives : public IqxClientCallback {
public:
    std::vector<std::string> texts;
    void connected() override {}
    void disconnected() override {}
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

    // Starts orq-hub and waits for its window.
    HWND startHub() {
        hubs.push_back(std::make_unique<mp::ChildProcess>(std::vector<std::string>{"-q", "-c", facility.string()},
                                                          mp::siblingProgram("orq-hub")));
        HWND window = nullptr;
        mp::pumpUntilTrue([&] { return (window = FindWindowA(orqWindowClass, nullptr)) != nullptr; }, mp::kPatience);
        return window;
    }

    std::filesystem::path facility;
    std::vector<std::unique_ptr<mp::ChildProcess>> hubs;
};

class HubProcessTransport : public HubProcess, public ::testing::WithParamInterface<qx::ipcType> {};

TEST_P(HubProcessTransport, AClientOfAnotherProcessConnectsCommandsAndGetsRevertives) {
    ASSERT_NE(startHub(), nullptr);
    Revertives events;
    qxClient client(&events, "qxClient");
    ASSERT_FALSE(client.connect(GetParam(), 0));
    client.revertiveRegister(1, 1, 8, true, qx::RP);
    client.revertiveRegister(2, 1, 16, true, qx::IP);
    client.routerCrosspoint(1, 5, 7, ",---", true, 0);
    client.infoWrite(2, 3, "on air", true, 0);
    EXPECT_TRUE(mp::pumpUntilTrue([&] { return events.has("RR 1 5 7") && events.has("IR 2 3 on air"); }, mp::kPatience));
    std::string value;
    EXPECT_FALSE(client.cacheValue(2, 3, value));
    EXPECT_EQ(value, "on air");
}

#ifdef _WIN32
// The interface library stand-in passes its frame as a pointer; only our
// layer copies it into another process (sendMessageWithBlock), so zel between
// processes is checked here only.
INSTANTIATE_TEST_SUITE_P(Transports, HubProcessTransport, ::testing::Values(qx::wm),
                         [](const auto&) { return "wm"; });
#else
INSTANTIATE_TEST_SUITE_P(Transports, HubProcessTransport, ::testing::Values(qx::wm, qx::zel),
                         [](const auto& param) { return param.param == qx::wm ? "wm" : "zel"; });
#endif

TEST_F(HubProcess, ASecondHubInTheSessionRefusesToStart) {
    ASSERT_NE(startHub(), nullptr);
    mp::ChildProcess second({"-q", "-c", facility.string()}, mp::siblingProgram("orq-hub"));
    EXPECT_EQ(second.wait(mp::kPatience), 2);
}

TEST_F(HubProcess, WmCloseStopsTheHub) {
    const HWND hub = startHub();
    ASSERT_NE(hub, nullptr);
    EXPECT_TRUE(PostMessageA(hub, WM_CLOSE, 0, 0));
    EXPECT_EQ(hubs.back()->wait(mp::kPatience), 0);
    EXPECT_FALSE(IsWindow(hub));
}

#ifndef _WIN32
TEST_F(HubProcess, SigtermStopsTheHubCleanly) {
    const HWND hub = startHub();
    ASSERT_NE(hub, nullptr);
    ::kill(static_cast<pid_t>(hubs.back()->id()), SIGTERM);
    EXPECT_EQ(hubs.back()->wait(mp::kPatience), 0);
    EXPECT_FALSE(IsWindow(hub));
}
#endif

}  // namespace
