// Shared pieces of the infodriver tests: a callback that records every call as
// a line of text, and a fixture with an isolated workstation identity and a
// recording infodriver (a scriptable window that tessil32.dll finds).
#pragma once

#include <gtest/gtest.h>
#include <qxplatform.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FakeHub.h"
#include "ScopedEnv.h"
#include "infodriverWindowClass.h"
#include "qxInfodriver.h"
#include "zorvText.h"

namespace qxtest {

class RecordingDriverCallback : public IqxInfodriverCallback {
public:
    std::vector<std::string> events;
    std::function<void(const std::string&)> onEvent;
    std::function<void(int index, const std::string& text)> onWrite;

    void slotWrite(int device, int index, const std::string& text) override {
        add(formatText("write %d %d [%s]", device, index, text.c_str()));
        if (onWrite) onWrite(index, text);
    }
    void deviceMessage(int workstation, int device, const std::string& text, const std::string& second,
                       const std::string& third) override {
        add(formatText("message %d %d [%s] [%s] [%s]", workstation, device, text.c_str(), second.c_str(),
                       third.c_str()));
    }
    void redundancyChange(int device, qx::redundancyState state) override {
        add(formatText("state %d %d", device, static_cast<int>(state)));
    }
    void connected(int device) override { add(formatText("connected %d", device)); }
    void disconnected(int device) override { add(formatText("disconnected %d", device)); }

    bool has(const std::string& event) const {
        for (const auto& e : events) {
            if (e == event) return true;
        }
        return false;
    }

private:
    void add(const std::string& event) {
        events.push_back(event);
        if (onEvent) onEvent(event);
    }
};

// Workstation 12 from the environment, without any file being read.
class InfodriverEnvironment : public ::testing::Test {
protected:
    ScopedEnv root{"QX_ROOT", "r"};
    ScopedEnv system{"QX_SYSTEM", "s"};
    ScopedEnv workstation{"QX_WORKSTATION", "12"};
    qxplatform::DebugCapture trace;
    RecordingDriverCallback events;

    static bool pumpUntil(const std::function<bool()>& done) { return qxplatform::pumpUntil(done, 5000); }
};

// A recording infodriver for device 7: it answers the announcement with 2729,
// the redundancy query with `redundancyAnswer` and the limit queries, and
// records every message and request with its exact bytes.
class InfodriverTest : public InfodriverEnvironment {
protected:
    static constexpr int device = 7;
    LRESULT redundancyAnswer = 2;

    FakeHub::Options infodriverOptions() {
        FakeHub::Options options;
        options.windowClass = infodriverWindowClass;
        options.windowName = infodriverWindowName(device);
        options.answerDiscovery = false;
        options.answers = {{49245, 900}, {49233, 100000}, {49234, 0}, {49243, 6}, {49246, 77}, {2732, 0}};
        options.onMessage = [](HWND self, UINT message, WPARAM wParam, LPARAM lParam) {
            if ((message == 2724 || message == 49154) && lParam == device) {
                SendMessageA(reinterpret_cast<HWND>(static_cast<UINT_PTR>(wParam)), 2729,
                             reinterpret_cast<WPARAM>(self), 0);
            }
        };
        return options;
    }

    void startInfodriver(LRESULT redundancy = 2) {
        auto options = infodriverOptions();
        options.answers[2732] = redundancy;
        infodriver = std::make_unique<FakeHub>(options);
    }

    std::unique_ptr<qxInfodriver> connectDriver(qx::ipcType ipc) {
        auto driver = std::make_unique<qxInfodriver>(&events, "qxInfodriver");
        EXPECT_FALSE(driver->connect(device, ipc, 0));
        infodriver->clear();
        events.events.clear();
        trace.clear();
        return driver;
    }

    std::unique_ptr<FakeHub> infodriver;
};

inline std::string blockText(const FakeHub::Request& request) { return request.text(); }

}  // namespace qxtest
