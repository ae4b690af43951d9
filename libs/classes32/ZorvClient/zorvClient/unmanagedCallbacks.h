// The bridge from the native client's callback interface to the receivers of
// one ZorvClient: one function reference per slot, in slot order. A slot
// whose reference is unset does nothing; a reference to an empty Delegate
// counts as unset, so that nothing is thrown into the native client.
#pragma once

#include <string>
#include <utility>

#include "IqxClientCallback.h"
#include "ZorvClient.h"

namespace ZorvClientLibrary {

class unmanagedCallbacks : public IqxClientCallback {
public:
    // References to receivers that the caller keeps alive while the bridge
    // may call them; any may be null.
    unmanagedCallbacks(const ZorvClient::VoidDelegate* connected, const ZorvClient::VoidDelegate* disconnected,
                       const ZorvClient::InfoRevertiveDelegateUnmanaged* infoRevertive,
                       const ZorvClient::RouterRevertiveDelegate* routerRevertive,
                       const ZorvClient::GPIRevertiveDelegate* gpiRevertive,
                       const ZorvClient::DatabaseChangeDelegate* databaseChange,
                       const ZorvClient::DeviceModeDelegateUnmanaged* deviceMode,
                       const ZorvClient::DeviceMessageDelegateUnmanaged* deviceMessage,
                       const ZorvClient::PollErrorDelegate* pollError,
                       const ZorvClient::ConfigChangeMessageDelegateUnmanaged* configChangeMessage)
        : connected_(connected),
          disconnected_(disconnected),
          infoRevertive_(infoRevertive),
          routerRevertive_(routerRevertive),
          gpiRevertive_(gpiRevertive),
          databaseChange_(databaseChange),
          deviceMode_(deviceMode),
          deviceMessage_(deviceMessage),
          pollError_(pollError),
          configChangeMessage_(configChangeMessage) {}

    // Numbers go on bit for bit, texts as their zero-terminated characters,
    // valid for the time of the call.
    void connected() override { call(connected_); }
    void disconnected() override { call(disconnected_); }
    void infoRevertive(int device, int slot, const std::string& value) override {
        call(infoRevertive_, as(device), as(slot), value.c_str());
    }
    void routerRevertive(int device, int destination, int source) override {
        call(routerRevertive_, as(device), as(destination), source);
    }
    void gpiRevertive(int device, int index, bool state) override { call(gpiRevertive_, as(device), as(index), state); }
    void databaseChange(int device, int index, int database) override {
        call(databaseChange_, as(device), as(index), database);
    }
    void deviceMode(int device, int index, qx::redundancyState state) override {
        call(deviceMode_, as(device), as(index), state);
    }
    void deviceMessage(int workstation, int device, const std::string& message, int reference) override {
        call(deviceMessage_, workstation, as(device), message.c_str(), reference);
    }
    void pollError(int device, int slot) override { call(pollError_, as(device), as(slot)); }
    void configChangeMessage(const std::string& message) override { call(configChangeMessage_, message.c_str()); }

private:
    static uint as(int number) { return static_cast<uint>(number); }

    template <typename Handler, typename... Args>
    static void call(const Handler* handler, Args&&... args) {
        if (handler != nullptr && *handler) (*handler)(std::forward<Args>(args)...);
    }

    const ZorvClient::VoidDelegate* connected_;
    const ZorvClient::VoidDelegate* disconnected_;
    const ZorvClient::InfoRevertiveDelegateUnmanaged* infoRevertive_;
    const ZorvClient::RouterRevertiveDelegate* routerRevertive_;
    const ZorvClient::GPIRevertiveDelegate* gpiRevertive_;
    const ZorvClient::DatabaseChangeDelegate* databaseChange_;
    const ZorvClient::DeviceModeDelegateUnmanaged* deviceMode_;
    const ZorvClient::DeviceMessageDelegateUnmanaged* deviceMessage_;
    const ZorvClient::PollErrorDelegate* pollError_;
    const ZorvClient::ConfigChangeMessageDelegateUnmanaged* configChangeMessage_;
};

}  // namespace ZorvClientLibrary
