// The receivers: each converts the native arguments of one callback and
// raises its event, containing whatever leaves the handlers.
#include <exception>
#include <string>

#include "ZorvClient.h"
#include "ZorvText.h"
#include "qxTypes.h"

namespace ZorvClientLibrary {

namespace {

void trace(const char* event, const char* what) {
    const std::string line = std::string("ZorvClient: ") + event + " stopped by an exception: " + what + "\n";
    OutputDebugStringA(line.c_str());
}

}  // namespace

// Nothing thrown here may reach the native client's dispatch below us.
template <typename Raise>
void ZorvClient::receive(const char* event, Raise&& raise) noexcept {
    ++receiving_;
    try {
        raise();
    } catch (const std::exception& error) {
        trace(event, error.what());
    } catch (...) {
        trace(event, "not a standard exception");
    }
    --receiving_;
}

void ZorvClient::ConnectedReceived() {
    receive("ConnectedEvent", [&] { raise_ConnectedEvent(); });
}

void ZorvClient::DisconnectedReceived() {
    receive("DisconnectedEvent", [&] { raise_DisconnectedEvent(); });
}

void ZorvClient::InfoRevertiveReceived(uint device, uint slot, const char* value) {
    receive("InfoRevertiveEvent", [&] { raise_InfoRevertiveEvent(device, slot, unicodeAt(value)); });
}

void ZorvClient::RouterRevertiveReceived(uint device, uint dest, int source) {
    receive("RouterRevertiveEvent", [&] { raise_RouterRevertiveEvent(device, dest, source); });
}

void ZorvClient::GPIRevertiveReceived(uint device, uint index, bool state) {
    receive("GPIRevertiveEvent", [&] { raise_GPIRevertiveEvent(device, index, state); });
}

void ZorvClient::DatabaseChangeReceived(uint device, uint index, int database) {
    receive("DatabaseChangeEvent", [&] { raise_DatabaseChangeEvent(device, index, database); });
}

// The native number is the public one: 0 unknown, 1 rx, 2 tx, 3 forceTx, 5
// broken; any other number goes on as it is.
void ZorvClient::DeviceModeReceived(uint device, uint index, qx::redundancyState state) {
    receive("DeviceModeEvent", [&] { raise_DeviceModeEvent(device, index, static_cast<RedundancyState>(state)); });
}

void ZorvClient::DeviceMessageReceived(int workstation, uint device, const char* message, int reference) {
    receive("DeviceMessageEvent",
            [&] { raise_DeviceMessageEvent(workstation, device, unicodeAt(message), reference); });
}

void ZorvClient::PollErrorReceived(uint device, uint slot) {
    receive("PollErrorEvent", [&] { raise_PollErrorEvent(device, slot); });
}

void ZorvClient::ConfigChangeMessageReceived(const char* message) {
    receive("ConfigChangeMessageEvent", [&] { raise_ConfigChangeMessageEvent(unicodeAt(message)); });
}

}  // namespace ZorvClientLibrary
