#include "Federation.h"

#include <algorithm>
#include <chrono>
#include <fstream>

#include "HubCore.h"
#include "Payloads.h"
#include "qxConfig.h"
#include "zorvText.h"

namespace orq {

namespace {

// State, commands and messages are all sent at least once; sequence numbers
// make a repeated state harmless. Heartbeats go at most once.
constexpr int qos = 1;
// How long reported states wait at most for the broker to take the
// previous publications before they go anyway.
constexpr DWORD holdStatesMs = 10;
// How long an index's retained state may lag behind its live batches; a
// busy index is then retained a few times a second, not at every change.
constexpr DWORD retainDelayMs = 200;
// States gathered into one batch at most: a batch stays far below the
// largest payload even with every value a full 512-byte text.
constexpr std::size_t batchStates = 256;
// How long a stopping hub waits at most for the broker to take what it published.
constexpr DWORD stopDrainMs = 2000;
// No payload of ours comes near this; anything larger is not from a hub and
// is dropped unread.
constexpr std::size_t largestPayload = 1024 * 1024;

// The first sequence number of a hub's run: microseconds of the wall clock,
// so that a restarted owner numbers above its earlier run.
std::uint64_t firstSequence() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
}

std::string firstLine(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

// Heartbeats four times per keep-alive: a hub silent for 1.25 times it is
// taken for gone, which leaves a quarter of it for the news to travel.
DWORD heartbeatMs(int keepAliveSeconds) { return static_cast<DWORD>(keepAliveSeconds > 0 ? keepAliveSeconds : 10) * 250; }

std::string deviceList(const std::vector<int>& devices) {
    std::string text;
    for (const int device : devices) text += (text.empty() ? "" : ", ") + std::to_string(device);
    return text.empty() ? "none" : text;
}

}  // namespace

Federation::Federation(const HubOptions& options, HubCore& hub, HWND window, int workstation,
                       const BrokerAddress& broker)
    : options_(options),
      hub_(hub),
      window_(window),
      workstation_(workstation),
      topics_(options.federation.facility),
      ownership_(hub.devices(), workstation),
      seq_(firstSequence()) {
    const FederationOptions& settings = options.federation;
    MqttClient::Settings client;
    client.clientId = "orq-" + settings.facility + "-" + std::to_string(workstation);
    client.host = broker.host;
    client.port = broker.port;
    client.keepAliveSeconds = settings.keepAliveSeconds;
    client.user = settings.user;
    if (!settings.passwordFile.empty()) client.password = firstLine(settings.passwordFile);
    client.caFile = settings.caFile;
    client.willTopic = topics_.hub(workstation);
    client.willPayload = status(false);
    client_ = std::make_unique<MqttClient>(
        client,
        [this](const std::string& topic, const std::string& payload) {
            arrived({Arrival::Kind::message, topic, payload});
        },
        [this](bool up, const std::string& reason) {
            arrived({up ? Arrival::Kind::linkUp : Arrival::Kind::linkDown, {}, reason});
        },
        [this] { acknowledged(); });
    client_->start();
    log(formatText("workstation %d joins facility %s through %s:%d; owns devices %s", workstation,
                   settings.facility.c_str(), broker.host.c_str(), broker.port,
                   deviceList(ownership_.ownedHere()).c_str()));
}

// What the others have live is kept for those who join later, before the
// link ends. Publications the client still holds (a QoS 1 client lets only a
// few be unacknowledged at once) would end with its network thread, so the
// broker is given a moment to take them all.
Federation::~Federation() {
    publishRetainedStates();
    const DWORD start = GetTickCount();
    while (connected_ && inFlight() && GetTickCount() - start < stopDrainMs) Sleep(1);
    client_.reset();
}

void Federation::log(const std::string& line) const {
    if (options_.log) options_.log(line);
}

// ---------------------------------------------------------------- network thread

void Federation::arrived(Arrival arrival) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(inboxMutex_);
        wake = inbox_.empty();
        inbox_.push_back(std::move(arrival));
    }
    if (wake) PostMessageA(window_, federationWake, 0, 0);
}

void Federation::acknowledged() {
    if (++acked_ >= sent_.load() && holding_.exchange(false)) arrived({Arrival::Kind::published, {}, {}});
}

// ---------------------------------------------------------------- hub thread

void Federation::pump() {
    std::vector<Arrival> arrivals;
    {
        std::lock_guard<std::mutex> lock(inboxMutex_);
        arrivals.swap(inbox_);
    }
    for (const Arrival& arrival : arrivals) handle(arrival);
    timedWork();
    if (!pending_.empty() && statesMayGo()) publishPendingStates();
    if (!unretained_.empty() && static_cast<LONG>(GetTickCount() - retainDue_) >= 0) publishRetainedStates();
}

void Federation::timedWork() {
    const DWORD now = GetTickCount();
    if (connected_ && static_cast<LONG>(now - nextHeartbeat_) >= 0) {
        send(topics_.alive(workstation_), "{}", false, 0);
        nextHeartbeat_ = now + heartbeatMs(options_.federation.keepAliveSeconds);
    }
    for (const int workstation : liveness_.silent(now)) logChange(workstation, Liveness::Change::offline, "silent");
}

DWORD Federation::msUntilWork() const {
    if (!connected_) return INFINITE;
    const DWORD now = GetTickCount();
    const auto until = [now](DWORD due) {
        const LONG left = static_cast<LONG>(due - now);
        return left > 0 ? static_cast<DWORD>(left) : DWORD(0);
    };
    const DWORD untilStates = pending_.empty() ? INFINITE : inFlight() ? until(pendingSince_ + holdStatesMs) : 0;
    const DWORD untilRetain = unretained_.empty() ? INFINITE : until(retainDue_);
    return std::min({untilStates, until(nextHeartbeat_), untilRetain, liveness_.msUntilCheck(now)});
}

void Federation::handle(const Arrival& arrival) {
    switch (arrival.kind) {
    case Arrival::Kind::linkUp: linkUp(); break;
    case Arrival::Kind::linkDown: linkDown(arrival.payload); break;
    case Arrival::Kind::message: message(arrival.topic, arrival.payload); break;
    case Arrival::Kind::published: break;  // pump() sends the states it held
    }
}

void Federation::linkUp() {
    connected_ = true;
    lastLinkProblem_.clear();
    acked_ = sent_.load();  // what the last link did not see leave is gone
    log("broker link up");
    // Subscribed again on every link: the broker keeps no session for us.
    client_->subscribe(topics_.everything(), qos, true);
    publish(topics_.hub(workstation_), status(true), true);
    nextHeartbeat_ = GetTickCount();
    publishOwnState();
}

void Federation::linkDown(const std::string& reason) {
    if (!connected_ && reason == lastLinkProblem_) return;  // retrying: said once
    lastLinkProblem_ = reason;
    if (connected_) {
        log("broker link lost (" + reason + "); commands for remote devices are refused until it is back");
    } else {
        log("no broker link (" + reason + "); retrying");
    }
    connected_ = false;
    pending_.clear();  // the next link publishes everything
    unretained_.clear();
    // Without the broker nobody can vouch for the other hubs.
    liveness_.clear();
}

// Every index of every device this hub owns, and their locks: after a link
// or a broker that lost its retained messages, no stale state remains.
void Federation::publishOwnState() {
    for (const int number : ownership_.ownedHere()) {
        const Device* device = hub_.devices().find(number);
        if (device == nullptr) continue;
        for (int index = 1; index <= device->size; ++index) stateReported(*device, index);
        locksChanged(*device);
    }
    publishRetainedStates();
}

// Reported states go out at once while the broker has taken everything
// published before; while it has not, they gather (up to a batch, for
// holdStatesMs at most) and go when it has. One change after another thus
// travels at once, a burst in batches as large as the broker's pace asks.
bool Federation::statesMayGo() {
    // Late acknowledgements of an earlier link do not count (an ack arriving
    // meanwhile leaves the count as it is: the exchange fails).
    std::uint64_t acked = acked_.load();
    if (acked > sent_) acked_.compare_exchange_strong(acked, sent_.load());
    if (!inFlight() || pending_.size() >= batchStates) return true;
    if (static_cast<LONG>(GetTickCount() - (pendingSince_ + holdStatesMs)) >= 0) return true;
    holding_ = true;
    return !inFlight();  // acknowledged meanwhile: nobody wakes the hub for it
}

// The states the hub reported since the loop last came here, live, each
// device's in one or a few batches in the order they were reported.
void Federation::publishPendingStates() {
    if (pending_.empty()) return;
    std::stable_sort(pending_.begin(), pending_.end(),
                     [](const PendingState& a, const PendingState& b) { return a.device < b.device; });
    StateBatch batch;
    for (auto state = pending_.cbegin(); state != pending_.cend(); ++state) {
        batch.states.emplace_back(state->index, state->update);
        const auto next = state + 1;
        if (batch.states.size() == batchStates || next == pending_.cend() || next->device != state->device) {
            send(topics_.batch(state->device), encode(batch), false);
            batch.states.clear();
        }
    }
    pending_.clear();
}

// Each index's newest state, retained, for hubs that join later: at most
// once per retainDelayMs, however often the index changes meanwhile. A hub
// that joined in between got the older copy, and gets this one live. The
// batches go first: a copy ahead of its batch would make the other hubs
// drop the states of the batch as old, and their clients miss them.
void Federation::publishRetainedStates() {
    publishPendingStates();
    for (const auto& [key, update] : unretained_) send(topics_.state(key.first, key.second), encode(update), true);
    unretained_.clear();
}

void Federation::publish(const std::string& topic, const std::string& payload, bool retain) {
    publishPendingStates();
    send(topic, payload, retain);
}

void Federation::send(const std::string& topic, const std::string& payload, bool retain, int level) {
    if (connected_ && client_->publish(topic, payload, level, retain)) ++sent_;
}

std::string Federation::status(bool online) const {
    return encode(HubStatus{workstation_, online, online ? ownership_.ownedHere() : std::vector<int>{},
                            options_.federation.keepAliveSeconds});
}

bool Federation::fresh(const SeenKey& key, std::uint64_t seq) {
    std::uint64_t& newest = seen_[key];
    if (seq <= newest) return false;
    newest = seq;
    return true;
}

void Federation::message(const std::string& topic, const std::string& payload) {
    const auto ref = topics_.parse(topic);
    if (!ref || payload.size() > largestPayload) return;
    switch (ref->kind) {
    case TopicKind::hub: hubStatus(ref->workstation, payload); return;
    case TopicKind::alive: heartbeat(ref->workstation); return;
    case TopicKind::command: command(ref->device, payload); return;
    case TopicKind::batch: batch(ref->device, payload); return;
    case TopicKind::deviceMessage:
    case TopicKind::configMessage: {
        const auto relayed = decodeRelayed(payload);
        if (!relayed || relayed->from == workstation_) return;
        if (ref->kind == TopicKind::configMessage) {
            hub_.relayRemoteConfigChange(relayed->text);
        } else if (relayed->target == 0 || relayed->target == workstation_) {
            hub_.relayRemoteDeviceMessage(relayed->text);
        }
        return;
    }
    default: break;
    }
    // State of a device: taken only for another hub's device, and only newer.
    if (!ownership_.remote(ref->device)) return;
    const SeenKey key{static_cast<int>(ref->kind), ref->device, ref->database, ref->index};
    if (ref->kind == TopicKind::state) {
        const auto update = decodeState(payload);
        if (update && fresh(key, update->seq)) hub_.mirrorState(ref->device, ref->index, {update->value, update->workstation});
    } else if (ref->kind == TopicKind::locks) {
        const auto update = decodeLocks(payload);
        if (update && fresh(key, update->seq)) hub_.mirrorLocks(ref->device, update->locks);
    } else if (ref->kind == TopicKind::name) {
        const auto update = decodeName(payload);
        if (update && fresh(key, update->seq)) hub_.mirrorName(ref->device, ref->database, ref->index, update->name);
    }
}

void Federation::batch(int device, const std::string& payload) {
    if (!ownership_.remote(device)) return;
    const auto states = decodeBatch(payload);
    if (!states) return;
    for (const auto& [index, update] : states->states) {
        const SeenKey key{static_cast<int>(TopicKind::state), device, 0, index};
        if (fresh(key, update.seq)) hub_.mirrorState(device, index, {update.value, update.workstation});
    }
}

void Federation::hubStatus(int workstation, const std::string& payload) {
    const auto status = decodeStatus(payload);
    if (!status || workstation == workstation_ || status->workstation != workstation) return;
    logChange(workstation, liveness_.status(workstation, status->online, status->keepAliveSeconds, GetTickCount()), "");
}

void Federation::heartbeat(int workstation) {
    if (workstation != workstation_) logChange(workstation, liveness_.heard(workstation, GetTickCount()), "heard again");
}

void Federation::logChange(int workstation, Liveness::Change change, const char* why) {
    if (change == Liveness::Change::none) return;
    const bool online = change == Liveness::Change::online;
    log(formatText("workstation %d %s%s%s; its devices %s are %s", workstation, online ? "online" : "offline",
                   *why ? ", " : "", why, deviceList(ownership_.ownedBy(workstation)).c_str(),
                   online ? "online" : "offline"));
}

void Federation::command(int device, const std::string& payload) {
    if (!ownership_.shared(device)) return;
    const auto relayed = decodeRelayed(payload);
    if (!relayed) return;
    const auto parsed = parseCommand(relayed->text);
    // Only the command the topic names: a text for another device would
    // make this hub act on what it does not own.
    if (!parsed || parsed->device != device) {
        log("command from workstation " + std::to_string(relayed->from) + " ignored: " + relayed->text);
        return;
    }
    hub_.applyFromWorkstation(*parsed);
}

bool Federation::online(int device) const {
    if (!ownership_.remote(device)) return true;
    return connected_ && liveness_.serving(ownership_.owner(device));
}

bool Federation::forward(const Command& command) {
    if (command.verb == Verb::poll || command.verb == Verb::query || command.verb == Verb::deviceMessage) return false;
    if (!ownership_.remote(command.device)) return false;
    const int owner = ownership_.owner(command.device);
    if (!connected_) {
        log(formatText("command for device %d refused: no broker link: %s", command.device, command.wire.c_str()));
    } else if (!liveness_.serving(owner)) {
        log(formatText("command for device %d refused: its owner, workstation %d, is offline: %s", command.device,
                       owner, command.wire.c_str()));
    } else {
        publish(topics_.command(command.device), encode(Relayed{workstation_, owner, command.wire}), false);
    }
    return true;
}

void Federation::stateReported(const Device& device, int index) {
    if (!connected_ || !ownership_.shared(device.number)) return;
    const IndexState state = device.at(index);
    const StateUpdate update{++seq_, state.value, state.workstation};
    if (pending_.empty()) pendingSince_ = GetTickCount();
    pending_.push_back({device.number, index, update});
    if (unretained_.empty()) retainDue_ = GetTickCount() + retainDelayMs;
    unretained_[{device.number, index}] = update;
}

void Federation::locksChanged(const Device& device) {
    if (!connected_ || !ownership_.shared(device.number)) return;
    publish(topics_.locks(device.number), encode(LockUpdate{++seq_, device.locks}), true);
}

void Federation::nameChanged(int device, int database, int index, const std::string& name) {
    if (!ownership_.shared(device)) return;
    publish(topics_.name(device, database, index), encode(NameUpdate{++seq_, name}), true);
}

void Federation::deviceMessage(int target, const std::string& text) {
    publish(topics_.deviceMessages(), encode(Relayed{workstation_, target, text}), false);
}

void Federation::configChange(const std::string& text) {
    publish(topics_.configMessages(), encode(Relayed{workstation_, 0, text}), false);
}

// ---------------------------------------------------------------- the factory

std::unique_ptr<FederationLink> makeFederation(const HubOptions& options, HubCore& hub, HWND window) {
    const FederationOptions& settings = options.federation;
    if (settings.broker.empty()) return nullptr;
    const auto fail = [&](const std::string& why) -> std::unique_ptr<FederationLink> {
        if (options.log) options.log("no facility link: " + why);
        return nullptr;
    };
    const auto broker = parseBrokerAddress(settings.broker);
    if (!broker) return fail("broker '" + settings.broker + "' is not mqtt://HOST:PORT or mqtts://HOST:PORT");
    if (broker->tls && settings.caFile.empty()) return fail("mqtts needs a CA file");
    if (!validFacilityName(settings.facility)) return fail("facility '" + settings.facility + "' is no topic level");
    int workstation = settings.workstation;
    if (workstation <= 0) workstation = wireToInt(hub.devices().files().readHub("Network")["Workstation"]);
    if (workstation <= 0) workstation = qxConfig::workstation();
    if (workstation <= 0 || workstation > 0xFFFF) return fail("no workstation number (1..65535)");
    try {
        return std::make_unique<Federation>(options, hub, window, workstation, *broker);
    } catch (const MqttClient::Error& error) {
        return fail(error.what());
    }
}

}  // namespace orq
