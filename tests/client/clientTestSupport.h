// Shared pieces of the client tests: a callback that records every call as a
// line of text, and a fixture with an isolated workstation identity.
#pragma once

#include <gtest/gtest.h>
#include <qxplatform.h>

#include <memory>
#include <string>
#include <vector>

#include "FakeHub.h"
#include "ScopedEnv.h"
#include "qxClient.h"
#include "zorvText.h"

namespace qxtest {

class RecordingCallback : public IqxClientCallback {
public:
    std::vector<std::string> events;
    std::function<void(const std::string&)> onEvent;

    void connected() override { add("connected"); }
    void disconnected() override { add("disconnected"); }
    void infoRevertive(int device, int slot, const std::string& value) override {
        add(formatText("IR %d %d [%s]", device, slot, value.c_str()));
    }
    void routerRevertive(int device, int destination, int source) override {
        add(formatText("RR %d %d %d", device, destination, source));
    }
    void gpiRevertive(int device, int index, bool state) override {
        add(formatText("GR %d %d %d", device, index, state ? 1 : 0));
    }
    void databaseChange(int device, int index, int database) override {
        add(formatText("DC %d %d %d", device, index, database));
    }
    void deviceMode(int device, int index, qx::redundancyState state) override {
        add(formatText("MODE %d %d %d", device, index, static_cast<int>(state)));
    }
    void deviceMessage(int workstation, int device, const std::string& message, int reference) override {
        add(formatText("NS %d %d [%s] %d", workstation, device, message.c_str(), reference));
    }
    void pollError(int device, int slot) override { add(formatText("PE %d %d", device, slot)); }
    void configChangeMessage(const std::string& message) override { add("CC [" + message + "]"); }

private:
    void add(const std::string& event) {
        events.push_back(event);
        if (onEvent) onEvent(event);
    }
};

// Workstation 12 from the environment, without any file being read.
class ClientTest : public ::testing::Test {
protected:
    ScopedEnv root{"QX_ROOT", "r"};
    ScopedEnv system{"QX_SYSTEM", "s"};
    ScopedEnv workstation{"QX_WORKSTATION", "12"};
    qxplatform::DebugCapture trace;
    RecordingCallback events;

    static FakeHub::Options hubOptions() {
        FakeHub::Options options;
        options.answers = {{49235, 65535}, {49243, 4}, {49245, 100000}, {49233, 100000}, {49234, 600}, {49246, 0}};
        return options;
    }
    // The same hub with its value cache on and every range cached.
    static FakeHub::Options hubOptionsWithCacheOn() {
        auto options = hubOptions();
        options.answers[2040] = 1;
        options.answers[2037] = 1;
        return options;
    }

    bool pumpUntil(const std::function<bool()>& done) { return qxplatform::pumpUntil(done, 5000); }
    bool waitForEvents(size_t count) {
        return pumpUntil([&] { return events.events.size() >= count; });
    }
};

inline std::string bytes(const std::vector<unsigned char>& block, size_t count) {
    return std::string(reinterpret_cast<const char*>(block.data()), count);
}

}  // namespace qxtest
