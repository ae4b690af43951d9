// What the facility's other hubs send, applied to this hub: the state of the
// devices they own, kept here as mirrors and told to this hub's clients as
// their own revertives, and their device and configuration-change messages.
#include "HubCore.h"
#include "zorvMessages.h"

namespace orq {

void HubCore::mirrorState(int number, int index, const IndexState& state) {
    Device* device = devices_.find(number);
    if (device == nullptr || !device->hasIndex(index)) return;
    device->state[index] = state;
    emitRevertive(*device, index);
}

void HubCore::mirrorLocks(int number, const std::map<int, int>& locks) {
    Device* device = devices_.find(number);
    if (device != nullptr) device->locks = locks;
}

void HubCore::mirrorName(int device, int database, int index, const std::string& name) {
    if (devices_.find(device) == nullptr || database < 0 || database >= databaseCount() || index < 1) return;
    names_.rename(device, database, index, name);
    notifyDatabaseChange(device, index, database);
}

void HubCore::relayRemoteDeviceMessage(const std::string& text) {
    for (const ClientAddress& client : clients_.subscribers()) sendText(client, zorvmsg::generalText, text);
}

void HubCore::relayRemoteConfigChange(const std::string& text) {
    for (const ClientAddress& client : clients_.subscribers()) sendText(client, zorvmsg::configChangeOut, text);
}

}  // namespace orq
