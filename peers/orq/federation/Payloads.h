// The JSON payloads of the facility's topics (FEDERATION.md). Hub texts are
// 8-bit in the ANSI code page; payloads carry them as UTF-8. Every decoder
// returns nothing for a payload that is not what its topic promises.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orq {

struct HubStatus {
    int workstation = 0;
    bool online = false;
    std::vector<int> devices;  // the devices it owns
    int keepAliveSeconds = 0;  // it sends a heartbeat four times per keep-alive
};

// Sequence numbers grow with every publication of one owner; a mirror drops
// a state older than the one it holds.
struct StateUpdate {
    std::uint64_t seq = 0;
    std::string value;
    int workstation = 0;  // whose command set it
};

// States of several indexes of one device, in the order the owner set them.
struct StateBatch {
    std::vector<std::pair<int, StateUpdate>> states;  // index, its state
};

struct LockUpdate {
    std::uint64_t seq = 0;
    std::map<int, int> locks;  // index -> workstation holding the lock
};

struct NameUpdate {
    std::uint64_t seq = 0;
    std::string name;
};

// A command text for the owner, a device message or a configuration change.
struct Relayed {
    int from = 0;
    int target = 0;  // device messages: the workstation addressed, 0 for all
    std::string text;
};

std::string encode(const HubStatus& status);
std::string encode(const StateUpdate& update);
std::string encode(const StateBatch& batch);
std::string encode(const LockUpdate& update);
std::string encode(const NameUpdate& update);
std::string encode(const Relayed& relayed);

std::optional<HubStatus> decodeStatus(const std::string& payload);
std::optional<StateUpdate> decodeState(const std::string& payload);
std::optional<StateBatch> decodeBatch(const std::string& payload);
std::optional<LockUpdate> decodeLocks(const std::string& payload);
std::optional<NameUpdate> decodeName(const std::string& payload);
std::optional<Relayed> decodeRelayed(const std::string& payload);

}  // namespace orq
