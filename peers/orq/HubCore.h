// The hub's behaviour, run on the hub's thread: the handshake, the device
// model and its commands, registration, revertives, the value cache, the
// database names and the network messages. HubWindow feeds it the window's
// messages; everything it tells clients goes through the outbox.
#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <string>

#include "ClientRegistry.h"
#include "CommandParser.h"
#include "DeviceFiles.h"
#include "DeviceModel.h"
#include "Fanout.h"
#include "HubOptions.h"
#include "HubRecorder.h"
#include "HubSpy.h"
#include "InfodriverBacking.h"
#include "NameStore.h"
#include "Outbox.h"
#include "Request.h"
#include "ValueCache.h"
#include "federation/FederationLink.h"

namespace orq {

class HubCore {
public:
    HubCore(const HubOptions& options, HubRecorder& recorder);
    HubCore(const HubCore&) = delete;
    HubCore& operator=(const HubCore&) = delete;

    // Binds the hub's window and loads the devices; on the hub's thread.
    void attach(HWND window);
    // The hub's loop has ended: nothing more is sent, and the senders end,
    // all within one client deadline.
    void detach() { fanout_.stop(); }

    // A plain message; false when it is none of the hub's.
    bool handleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // A request from an envelope or frame; returns the reply code.
    LRESULT handleRequest(Request& request);

    // Releases held commands that are due, hands what the outbox holds to
    // the clients' senders and takes the clients they found stalled.
    void tick();
    // How long the loop may wait before tick() has work: 0, a hold deadline
    // or INFINITE.
    DWORD msUntilWork() const;
    HubSpy& spy() { return spy_; }  // traffic for zorvctl spy
    // A client that did not take what the hub sent it (a delivery or a reply)
    // within the client deadline: one log line, and it is skipped from now on
    // until it next talks to the hub.
    void missed(HWND client, const char* what);
    // Any thread: the hub is to stop; deliveries still queued are not sent.
    void requestStop() {
        stopRequested_ = true;
        fanout_.halt();
    }

    // Test and demo hooks.
    void announceDeviceMode(int device, int index, const std::string& keyword);
    void announceDisconnect();
    void deliver(HWND client, UINT code, const std::string& text);
    std::string value(int device, int index) const;
    int deviceCount() const { return static_cast<int>(devices_.numbers().size()); }
    int clientCount() const { return static_cast<int>(clients_.size()); }

    // The facility link's side (HubFederation.cpp): what the other hubs
    // send, applied to this hub's model and told to its clients.
    const DeviceModel& devices() const { return devices_; }
    // A command from another workstation for a device this hub owns: acts at once.
    void applyFromWorkstation(const Command& command) { apply(command, nullptr); }
    void mirrorState(int device, int index, const IndexState& state);
    void mirrorLocks(int device, const std::map<int, int>& locks);
    void mirrorName(int device, int database, int index, const std::string& name);
    void relayRemoteDeviceMessage(const std::string& text);
    void relayRemoteConfigChange(const std::string& text);
    // False for a remote device whose owner is offline or out of reach.
    bool deviceOnline(int device) const { return !federation_ || federation_->online(device); }

private:
    struct HeldCommand {
        Command command;
        HWND requester;
        DWORD due;
    };

    // Handshake and plain requests.
    void answerDiscovery(HWND client);
    void clientLeaves(UINT message, HWND client);
    int databaseCount() const { return options_.maxDatabases > 0 ? static_cast<int>(options_.maxDatabases) : 10; }

    // Commands.
    LRESULT command(const Request& request);
    void apply(const Command& command, HWND requester);
    Device* deviceFor(const Command& command);
    void change(const Command& command);
    void lock(const Command& command);
    void report(const Command& command, HWND onlyTo);

    // Infodriver devices backed by a running infodriver.
    bool forwardToInfodriver(const Command& command);
    void refreshFromInfodriver(Device& device, int first, int last);
    LRESULT slotSetByInfodriver(const Request& request);
    void reloadDevice(const Command& command);
    void relayDeviceMessage(const Command& command);
    void rename(const Command& command);
    int releaseHeld(bool all);

    // Requests by topic.
    LRESULT registration(const Request& request);
    LRESULT registerRange(HWND client, int device, int start, int end, bool overwrite);
    LRESULT cacheRequest(Request& request);
    LRESULT nameRequest(Request& request);
    LRESULT deviceProfile(Request& request);
    LRESULT configChange(const Request& request);
    LRESULT lookup(Request& request);  // HubLookups.h

    // Traffic to clients.
    void emitRevertive(const Device& device, int index, HWND onlyTo = nullptr);
    void notifyDatabaseChange(int device, int index, int database);
    void sendText(const ClientAddress& to, UINT code, const std::string& text);
    // Into the outbox, stamped with what the hub knows of the client now.
    void queue(Delivery delivery);
    // True when deliveries went to the senders.
    bool flushOutbox();
    void takeMissed();

    void log(const std::string& line) const;
    // Handed to the facility link instead of acted on here.
    bool forwarded(const Command& command) { return federation_ && federation_->forward(command); }

    const HubOptions& options_;
    HubRecorder& recorder_;
    HubSpy spy_;
    HWND window_ = nullptr;

    ClientRegistry clients_;
    DeviceModel devices_;
    ValueCache cache_;
    NameStore names_;
    Outbox outbox_;
    Fanout fanout_;
    InfodriverBacking backing_;
    std::deque<HeldCommand> held_;
    bool flushing_ = false;
    std::atomic<bool> stopRequested_{false};
    std::unique_ptr<FederationLink> federation_;  // last: it calls into the rest until it goes
};

}  // namespace orq
