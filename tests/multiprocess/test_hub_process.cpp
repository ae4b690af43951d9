// A client in this process against the hub stand-in running as a process of
// its own (orq-hub, built beside this program).
#include "hub_process.h"

#include "DeafThread.h"

namespace {

using mp::HubProcess;
using mp::Revertives;

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
// The reply to this request waits on a window that does not pump; the hub
// still stops within a second of SIGTERM.
TEST_F(HubProcess, SigtermStopsTheHubWithinASecondWhileAClientIsDeaf) {
    const HWND hub = startHub();
    ASSERT_NE(hub, nullptr);
    const qxtest::DeafThread deaf([](const auto& goDeaf) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.lpszClassName = "DeafWindow";
        RegisterClassA(&windowClass);
        HWND own = CreateWindowExA(0, "DeafWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        goDeaf(own);
        DestroyWindow(own);
    });
    char text[512] = "RC 1 2 1 ',---' 12";
    COPYDATASTRUCT envelope{(ULONG_PTR{2124} << 16) | 0x8001, sizeof text, text};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(hub, WM_COPYDATA, reinterpret_cast<WPARAM>(deaf.window()), reinterpret_cast<LPARAM>(&envelope),
                        SMTO_NORMAL, 100, &ignored);
    ::kill(static_cast<pid_t>(hubs.back()->id()), SIGTERM);
    EXPECT_EQ(hubs.back()->wait(1000), 0);
}

TEST_F(HubProcess, SigtermStopsTheHubCleanly) {
    const HWND hub = startHub();
    ASSERT_NE(hub, nullptr);
    ::kill(static_cast<pid_t>(hubs.back()->id()), SIGTERM);
    EXPECT_EQ(hubs.back()->wait(mp::kPatience), 0);
    EXPECT_FALSE(IsWindow(hub));
}
#endif

}  // namespace
