// The hub's link to the facility through an MQTT broker (FEDERATION.md): as
// owner it publishes the state of its devices, retained and numbered, and
// applies the commands other hubs send it; as mirror it keeps the last state
// of the other hubs' devices, serves it to its clients and sends their
// commands to the owner. The network thread only queues what arrives; the
// hub's thread handles it in pump().
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "FederationLink.h"
#include "FederationOptions.h"
#include "Liveness.h"
#include "MqttClient.h"
#include "Ownership.h"
#include "Payloads.h"
#include "TopicTree.h"

namespace orq {

class Federation : public FederationLink {
public:
    Federation(const HubOptions& options, HubCore& hub, HWND window, int workstation, const BrokerAddress& broker);
    ~Federation() override;

    void pump() override;
    DWORD msUntilWork() const override;
    bool forward(const Command& command) override;
    void stateReported(const Device& device, int index) override;
    void locksChanged(const Device& device) override;
    void nameChanged(int device, int database, int index, const std::string& name) override;
    void deviceMessage(int target, const std::string& text) override;
    void configChange(const std::string& text) override;
    bool remote(int device) const override { return ownership_.remote(device); }
    bool online(int device) const override;

private:
    // What the network thread hands to the hub's thread.
    struct Arrival {
        enum class Kind { message, linkUp, linkDown, published } kind;
        std::string topic;    // message
        std::string payload;  // message; linkDown: the reason
    };
    // A state reported by this hub's device, not yet published.
    struct PendingState {
        int device;
        int index;
        StateUpdate update;
    };
    // Newest sequence number seen per topic of a remote device.
    using SeenKey = std::tuple<int, int, int, int>;  // kind, device, database, index

    void arrived(Arrival arrival);
    void handle(const Arrival& arrival);
    void linkUp();
    void linkDown(const std::string& reason);
    void message(const std::string& topic, const std::string& payload);
    void hubStatus(int workstation, const std::string& payload);
    void heartbeat(int workstation);
    void timedWork();
    void logChange(int workstation, Liveness::Change change, const char* why);
    void command(int device, const std::string& payload);
    bool fresh(const SeenKey& key, std::uint64_t seq);
    void batch(int device, const std::string& payload);
    void publishOwnState();
    bool inFlight() const { return sent_ > acked_.load(); }
    bool statesMayGo();
    void publishPendingStates();
    void publishRetainedStates();
    // Publishes the pending states first, so that publications keep their order.
    void publish(const std::string& topic, const std::string& payload, bool retain);
    void send(const std::string& topic, const std::string& payload, bool retain, int level = 1);
    void acknowledged();
    std::string status(bool online) const;
    void log(const std::string& line) const;

    const HubOptions& options_;
    HubCore& hub_;
    HWND window_;
    int workstation_;
    TopicTree topics_;
    Ownership ownership_;

    bool connected_ = false;  // hub thread
    std::string lastLinkProblem_;
    Liveness liveness_;
    DWORD nextHeartbeat_ = 0;
    std::uint64_t seq_;
    std::map<SeenKey, std::uint64_t> seen_;
    std::vector<PendingState> pending_;  // in the order they were reported
    std::map<std::pair<int, int>, StateUpdate> unretained_;  // device, index: newest state not yet retained
    DWORD retainDue_ = 0;
    DWORD pendingSince_ = 0;
    // Publications handed to the client and those it saw leave; the
    // network thread counts the latter and wakes a hub that holds states.
    std::atomic<std::uint64_t> sent_{0}, acked_{0};
    std::atomic<bool> holding_{false};

    std::mutex inboxMutex_;
    std::vector<Arrival> inbox_;

    std::unique_ptr<MqttClient> client_;  // last: its thread ends before the rest goes
};

}  // namespace orq
