// Shared pieces of the ZorvClient tests: a probe that plays the native
// client through the bridge, a log of every event as a line of text, and a
// fixture with a connected client, a scriptable hub and an isolated identity.
#pragma once

#include <gtest/gtest.h>
#include <qxplatform.h>

#include <ostream>
#include <string>
#include <vector>

#include "FakeHub.h"
#include "ScopedEnv.h"
#include "ZorvClient.h"
#include "qxClient.h"
#include "unmanagedCallbacks.h"
#include "zorvText.h"

namespace ZorvClientLibrary {

inline void PrintTo(const String& text, std::ostream* out) {
    *out << (text.isNull() ? std::string("null") : "u\"" + text.toUtf8() + "\"");
}

inline void PrintTo(IpcType ipc, std::ostream* out) { *out << "IpcType " << static_cast<int>(ipc); }

// The parts of a client that only the native client sees.
class ZorvClientProbe {
public:
    static IqxClientCallback& bridge(ZorvClient& client) { return *client.u; }
    static HWND window(ZorvClient& client) { return client.c->getMessageWindow(); }
    static const ZorvClient::InfoRevertiveDelegateUnmanaged& infoReceiver(ZorvClient& client) { return *client.irgh; }
    static const ZorvClient::DeviceMessageDelegateUnmanaged& messageReceiver(ZorvClient& client) {
        return *client.dmsggh;
    }
    static const ZorvClient::ConfigChangeMessageDelegateUnmanaged& configReceiver(ZorvClient& client) {
        return *client.ccmgh;
    }
};

}  // namespace ZorvClientLibrary

namespace zorvtest {

using namespace ZorvClientLibrary;
using qxtest::FakeHub;
using qxtest::ScopedEnv;

using Lines = std::vector<std::string>;

inline std::string shown(const String& text) { return text.isNull() ? "null" : "[" + text.toUtf8() + "]"; }

// Subscribes to every event of a client and keeps one line per event.
class EventLog {
public:
    std::vector<std::string> lines;

    explicit EventLog(ZorvClient& client) {
        client.add_ConnectedEvent([this] { add("connected"); });
        client.add_DisconnectedEvent([this] { add("disconnected"); });
        client.add_InfoRevertiveEvent(
            [this](uint d, uint i, String v) { add(formatText("IR %u %u ", d, i) + shown(v)); });
        client.add_RouterRevertiveEvent([this](uint d, uint i, int s) { add(formatText("RR %u %u %d", d, i, s)); });
        client.add_GPIRevertiveEvent(
            [this](uint d, uint i, bool s) { add(formatText("GR %u %u %s", d, i, s ? "true" : "false")); });
        client.add_DatabaseChangeEvent([this](uint d, uint i, int b) { add(formatText("DC %u %u %d", d, i, b)); });
        client.add_DeviceModeEvent(
            [this](uint d, uint i, RedundancyState s) { add(formatText("MODE %u %u %d", d, i, static_cast<int>(s))); });
        client.add_DeviceMessageEvent([this](int w, uint d, String m, int r) {
            add(formatText("NS %d %u ", w, d) + shown(m) + formatText(" %d", r));
        });
        client.add_PollErrorEvent([this](uint d, uint s) { add(formatText("PE %u %u", d, s)); });
        client.add_ConfigChangeMessageEvent([this](String m) { add("CC " + shown(m)); });
    }
    bool has(const std::string& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }

private:
    void add(std::string line) { lines.push_back(std::move(line)); }
};

inline bool pumpUntil(const std::function<bool()>& done) { return qxplatform::pumpUntil(done, 5000); }

// Workstation 12 from the environment, without any file being read.
struct Workstation12 {
    ScopedEnv root{"QX_ROOT", "r"};
    ScopedEnv system{"QX_SYSTEM", "s"};
    ScopedEnv workstation{"QX_WORKSTATION", "12"};
};

// A client of workstation 12 and a hub that answers the limits, the
// registration extent (1 to 100) and that its cache is on.
class FacadeTest : public ::testing::Test {
protected:
    Workstation12 identity;
    qxplatform::DebugCapture trace;
    FakeHub hub{hubOptions()};
    ZorvClient client;
    EventLog events{client};

    // The log must outlive the DisconnectedEvent of the teardown.
    ~FacadeTest() override { client.Dispose(); }

    static FakeHub::Options hubOptions() {
        FakeHub::Options options;
        options.answers = {{49235, 65535}, {49243, 4},  {49245, 100000},           {49233, 100000},
                           {49234, 600},   {49246, 0}, {49232, (100 << 16) | 1}, {2040, 1}};
        return options;
    }
    void connect(IpcType ipc = IpcType::wm) {
        ASSERT_FALSE(client.connect(ipc));
        hub.clear();
        trace.clear();
        events.lines.clear();
    }
    HWND window() { return ZorvClientProbe::window(client); }
    unsigned window32() { return static_cast<unsigned>(reinterpret_cast<UINT_PTR>(window())); }
    bool waitForEvents(size_t count) {
        return pumpUntil([&] { return events.lines.size() >= count; });
    }
};

}  // namespace zorvtest
