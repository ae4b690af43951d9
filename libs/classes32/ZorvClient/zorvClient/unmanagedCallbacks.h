// The bridge from the native client's callback interface to the receivers of
// one ZorvClient: one function reference per slot, in slot order. A slot
// whose reference is unset does nothing.
#pragma once

#include <string>

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
    void connected() override {
        if (connected_) (*connected_)();
    }
    void disconnected() override {
        if (disconnected_) (*disconnected_)();
    }
    void infoRevertive(int device, int slot, const std::string& value) override {
        if (infoRevertive_) (*infoRevertive_)(as(device), as(slot), value.c_str());
    }
    void routerRevertive(int device, int destination, int source) override {
        if (routerRevertive_) (*routerRevertive_)(as(device), as(destination), source);
    }
    void gpiRevertive(int device, int index, bool state) override {
        if (gpiRevertive_) (*gpiRevertive_)(as(device), as(index), state);
    }
    void databaseChange(int device, int index, int database) override {
        if (databaseChange_) (*databaseChange_)(as(device), as(index), database);
    }
    void deviceMode(int device, int index, qx::redundancyState state) override {
        if (deviceMode_) (*deviceMode_)(as(device), as(index), state);
    }
    void deviceMessage(int workstation, int device, const std::string& message, int reference) override {
        if (deviceMessage_) (*deviceMessage_)(workstation, as(device), message.c_str(), reference);
    }
    void pollError(int device, int slot) override {
        if (pollError_) (*pollError_)(as(device), as(slot));
    }
    void configChangeMessage(const std::string& message) override {
        if (configChangeMessage_) (*configChangeMessage_)(message.c_str());
    }

private:
    static uint as(int number) { return static_cast<uint>(number); }

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
