// A client against an orq-hub process that dies (as by SIGKILL) during a
// request, during the client's drain of a burst of revertives, between
// commands, and that is started again: every operation returns its failure
// promptly, nothing hangs, and connect() takes the new hub.
#include <chrono>

#include "hub_process.h"

namespace {

using mp::HubProcess;
using mp::Revertives;

// Far beyond the few milliseconds in which a send notices a dead peer, and
// far below a hang (which ctest's timeout ends).
constexpr auto kPrompt = std::chrono::seconds(5);
constexpr int kKilled = 137;  // the exit code of a process ended by SIGKILL (and of TerminateProcess here)
constexpr int noLimit = 2147483647;

bool returnsPromptly(const std::function<void()>& call) {
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::steady_clock::now() - start < kPrompt;
}

// An operation that reaches the hub, with the code under which it does, and
// whether its outcome is the one it gives when the hub does not answer.
struct Operation {
    const char* name;
    UINT code;
    std::function<bool(qxClient&)> failsAsUnanswered;
};

const std::vector<Operation> operations = {
    {"routerCrosspoint", 2124, [](qxClient& c) { return c.routerCrosspoint(1, 5, 7, ",---", true, 0), true; }},
    {"revertiveRegister", 2274, [](qxClient& c) { return c.revertiveRegister(1, 1, 8, true, qx::RP), true; }},
    {"deviceProfile", 2041,
     [](qxClient& c) {
         int version = -1, sources = -1, dests = -1;
         std::string name;
         c.deviceProfile(1, version, sources, dests, name);
         return version == 0 && sources == 0 && dests == 0 && name.empty();
     }},
    {"cacheValue", 2169,
     [](qxClient& c) {
         std::string value;
         return c.cacheValue(2, 3, value) && value == "- - -";
     }},
    {"sendBufferedCommands", 49237, [](qxClient& c) { return c.sendBufferedCommands() == 0; }},
    {"getClientRegistrationExtent", 49232,
     [](qxClient& c) {
         int min = -1, max = -1;
         return c.getClientRegistrationExtent(1, min, max) && min == 0 && max == 0;
     }},
    {"maxDevices", 49245, [](qxClient& c) { return c.maxDevices() == noLimit; }},
};

const Operation& operationNamed(const std::string& name) {
    return *std::find_if(operations.begin(), operations.end(), [&](const Operation& o) { return o.name == name; });
}

class HubFaults : public HubProcess, public ::testing::WithParamInterface<qx::ipcType> {
protected:
    // Starts a hub and connects the client to it.
    bool connectToNewHub(qxClient& client, const std::vector<std::string>& options = {}) {
        return startHub(options) != nullptr && !client.connect(GetParam(), 0);
    }
    // Registers for router 1 and switches destination 5 to source 7; true
    // once the revertive arrived.
    static bool switchesThroughTheHub(qxClient& client, const Revertives& events) {
        client.revertiveRegister(1, 1, 8, true, qx::RP);
        client.routerCrosspoint(1, 5, 7, ",---", true, 0);
        return mp::pumpUntilTrue([&] { return events.has("RR 1 5 7"); }, mp::kPatience);
    }
    void killHub() {
        hubs.back()->kill();
        EXPECT_EQ(hubs.back()->wait(mp::kPatience), kKilled);
    }
    // The operation returns at once with the outcome of an unanswered one.
    static void expectPromptFailure(const Operation& operation, qxClient& client) {
        SCOPED_TRACE(operation.name);
        bool failed = false;
        EXPECT_TRUE(returnsPromptly([&] { failed = operation.failsAsUnanswered(client); }));
        EXPECT_TRUE(failed);
    }
    // A hub gone without a word: the client is no longer connected, and
    // nothing told it so (only the hub's 2175 or disconnect() notify).
    static void expectSilentlyDisconnected(qxClient& client, const Revertives& events) {
        EXPECT_FALSE(client.isConnected());
        EXPECT_TRUE(client.disconnect());
        EXPECT_EQ(events.disconnects, 0);
    }
};

TEST_P(HubFaults, AHubDyingDuringARequestFailsItPromptly) {
    for (const Operation& operation : operations) {
        SCOPED_TRACE(operation.name);
        Revertives events;
        qxClient client(&events, "qxClient");
        ASSERT_TRUE(connectToNewHub(client, {"--kill-on", std::to_string(operation.code)}));
        expectPromptFailure(operation, client);
        EXPECT_EQ(hubs.back()->wait(mp::kPatience), kKilled);  // it died inside the request
        expectSilentlyDisconnected(client, events);
    }
}

// Only a hub lost before it is found fails connect(); once found, the
// handshake carries on against the dead window (its sends answer 0) and
// connect() reports the connection that the hub's death then ended.
TEST_P(HubFaults, AHubDyingDuringConnectEndsItPromptly) {
    struct Step {
        const char* name;
        UINT code;
        bool connectFails;
    };
    const UINT announce = GetParam() == qx::wm ? 2034 : 2054;
    for (const Step& step : {Step{"probe", 49552, true}, Step{"announce", announce, false},
                             Step{"register", 49222, false}, Step{"first limit", 49235, false}}) {
        SCOPED_TRACE(step.name);
        Revertives events;
        qxClient client(&events, "qxClient");
        ASSERT_NE(startHub({"--kill-on", std::to_string(step.code)}), nullptr);
        bool failed = false;
        EXPECT_TRUE(returnsPromptly([&] { failed = client.connect(GetParam(), 0); }));
        EXPECT_EQ(failed, step.connectFails);
        EXPECT_EQ(events.connects, step.connectFails ? 0 : 1);
        EXPECT_EQ(hubs.back()->wait(mp::kPatience), kKilled);
        expectSilentlyDisconnected(client, events);
    }
}

TEST_P(HubFaults, AHubDyingDuringADrainLeavesTheRevertivesInOrderAndFailsRequestsPromptly) {
    Revertives events;
    qxClient client(&events, "qxClient");
    ASSERT_TRUE(connectToNewHub(client));
    client.revertiveRegister(1, 1, 8, true, qx::RP);
    client.revertiveRegister(2, 1, 32, true, qx::IP);
    bool killed = false;
    events.onRevertive = [&] {  // the first revertive of the burst kills the hub and asks it something
        if (killed) return;
        killed = true;
        killHub();
        expectPromptFailure(operationNamed("cacheValue"), client);
    };
    client.routerPoll(1, 1, 8, true);
    client.infoPoll(2, 1, 32, true);
    ASSERT_TRUE(mp::pumpUntilTrue([&] { return killed; }, mp::kPatience));
    qxplatform::pumpPending();

    std::vector<std::string> burst;  // what the hub was sending, in its order (the values aside)
    for (int dest = 1; dest <= 8; ++dest) burst.push_back("RR 1 " + std::to_string(dest) + " ");
    for (int slot = 1; slot <= 32; ++slot) burst.push_back("IR 2 " + std::to_string(slot) + " ");
    ASSERT_LE(events.texts.size(), burst.size());
    EXPECT_TRUE(std::equal(events.texts.begin(), events.texts.end(), burst.begin(),
                           [](const std::string& text, const std::string& start) { return text.starts_with(start); }));
    expectSilentlyDisconnected(client, events);
}

TEST_P(HubFaults, AHubDeadBetweenCommandsFailsEveryLaterOnePromptly) {
    Revertives events;
    qxClient client(&events, "qxClient");
    ASSERT_TRUE(connectToNewHub(client));
    ASSERT_TRUE(switchesThroughTheHub(client, events));
    killHub();
    for (const Operation& operation : operations) expectPromptFailure(operation, client);
    expectSilentlyDisconnected(client, events);
}

TEST_P(HubFaults, AClientConnectsAgainToARestartedHub) {
    Revertives events;
    qxClient client(&events, "qxClient");
    ASSERT_TRUE(connectToNewHub(client));
    killHub();
    bool noHub = false;
    EXPECT_TRUE(returnsPromptly([&] { noHub = client.connect(GetParam(), 0); }));
    EXPECT_TRUE(noHub);

    ASSERT_TRUE(connectToNewHub(client));  // a new hub in the session is not refused for the dead one
    EXPECT_TRUE(client.isConnected());
    EXPECT_EQ(events.connects, 2);
    EXPECT_EQ(events.disconnects, 0);
    EXPECT_TRUE(switchesThroughTheHub(client, events));
    std::string value;
    EXPECT_FALSE(client.cacheValue(1, 5, value));
    EXPECT_EQ(value, "7");
}

#ifdef _WIN32
// As in test_hub_process.cpp: zel between processes needs our layer's block copy.
INSTANTIATE_TEST_SUITE_P(Transports, HubFaults, ::testing::Values(qx::wm), [](const auto&) { return "wm"; });
#else
INSTANTIATE_TEST_SUITE_P(Transports, HubFaults, ::testing::Values(qx::wm, qx::zel),
                         [](const auto& param) { return param.param == qx::wm ? "wm" : "zel"; });
#endif

}  // namespace
