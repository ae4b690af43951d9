// The hub's side of infodriver devices backed by a running infodriver.
#include "HubCore.h"
#include "decodeZORVString.h"
#include "zorvText.h"

namespace orq {

bool HubCore::forwardToInfodriver(const Command& command) {
    return command.verb == Verb::infoWrite &&
           backing_.forwardWrite(command.device, command.index, command.text, command.workstation);
}

void HubCore::refreshFromInfodriver(Device& device, int first, int last) {
    if (device.type != DeviceType::infodriver || (federation_ && federation_->remote(device.number)) ||
        backing_.find(device.number) == nullptr) {
        return;  // a remote device's slots are its owner's to read
    }
    for (int index = first; index <= last; ++index) {
        std::string text;
        if (backing_.readSlot(device.number, index, text) && text != device.at(index).value) {
            device.state[index] = {text, device.at(index).workstation};
        }
    }
}

// "IR device slot ws 'text'": an infodriver set one of its slots.
LRESULT HubCore::slotSetByInfodriver(const Request& request) {
    backing_.heardFrom(request.requester);
    const decodeZORVString fields(request.textAt(0));
    Device* device = devices_.find(wireToInt(fields[1]));
    const int index = wireToInt(fields[2]);
    if (device == nullptr || device->type != DeviceType::infodriver || !device->hasIndex(index)) {
        log("infodriver change for no such slot: " + request.textAt(0));
        return 0;
    }
    device->state[index] = {fields[4], wireToInt(fields[3])};
    emitRevertive(*device, index);
    return 1;
}

}  // namespace orq
