// Inbound texts: queued by the window procedure, drained later from the
// message loop, every field validated before a callback runs.
#include <cstring>

#include "decodeZORVString.h"
#include "qxClient.h"
#include "zorvText.h"

namespace {

constexpr const char* databaseIndexTrace = "shim: database modify index <1 or > maxDatabaseIndex\n";

}  // namespace

void qxClient::queueText(std::string text) {
    inboundQueue.push_back(std::move(text));
    PostMessageA(messageWindow, drainMessage, 0, 0);
}

bool qxClient::databaseIndexInvalid(unsigned index) {
    if (index >= 1 && index <= static_cast<unsigned>(maxDatabaseIndex)) return false;
    OutputDebugStringA(databaseIndexTrace);
    return true;
}

// The numeric database-change forms are checked, then queued as the text a
// hub would have sent; the wide form's fields are unsigned.
bool qxClient::queueDatabaseChange(unsigned device, unsigned index, unsigned database, bool wide) {
    if (checkDevice(static_cast<int>(device)) || checkDatabase(static_cast<int>(database), databaseCount) ||
        databaseIndexInvalid(index))
        return false;
    queueText(wide ? formatText("DC %u %u %u", device, index, database)
                   : formatText("DC %d %d %d", static_cast<int>(device), static_cast<int>(index),
                                static_cast<int>(database)));
    return true;
}

// Each text is removed before its callback runs, and the queue is read again
// after every text, so a nested drain started from a callback is harmless.
// A failed check ends this drain; the texts still queued each posted a drain
// message of their own. A callback that destroys the client ends it too.
void qxClient::drain() {
    const std::shared_ptr<bool> clientAlive = alive;
    while (!inboundQueue.empty()) {
        const std::string text = std::move(inboundQueue.front());
        inboundQueue.pop_front();
        if (!handleText(text) || !*clientAlive) return;
    }
}

// Returns false when a check failed.
bool qxClient::handleText(const std::string& text) {
    decodeZORVString fields(text);
    const std::string keyword = fields[0];
    if (keyword == "IR") return handleInfoRevertive(fields);
    if (keyword == "RR") return handleRouterRevertive(fields);
    if (keyword == "GR") return handleGpiRevertive(fields, text);
    if (keyword == "NS") return handleDeviceMessage(fields);
    if (keyword == "DC") return handleDatabaseChange(fields);
    return true;  // not ours: ignored
}

bool qxClient::handleInfoRevertive(const decodeZORVString& fields) {
    const int device = wireToInt(fields[1]);
    const int slot = wireToInt(fields[2]);
    const std::string value = fields[4];
    if (checkDevice(device) || checkIndex(slot) || checkString(value)) return false;
    ++traffic.rx;
    if (callback != nullptr) callback->infoRevertive(device, slot, value);
    return true;
}

bool qxClient::handleRouterRevertive(const decodeZORVString& fields) {
    const int device = wireToInt(fields[1]);
    const int destination = wireToInt(fields[2]);
    if (checkDevice(device) || checkIndex(destination)) return false;
    const int source = wireToInt(fields[3]);  // any signed value
    ++traffic.rx;
    if (callback != nullptr) callback->routerRevertive(device, destination, source);
    return true;
}

bool qxClient::handleGpiRevertive(const decodeZORVString& fields, const std::string& text) {
    OutputDebugStringA(text.c_str());
    const int device = wireToInt(fields[1]);
    const int index = wireToInt(fields[2]);
    if (checkDevice(device) || checkIndex(index)) return false;
    const bool state = fields[4][0] == '1';
    ++traffic.rx;
    if (callback != nullptr) callback->gpiRevertive(device, index, state);
    return true;
}

// A device message is taken only when it is addressed to this client or to
// everybody: field 4 is 0 or our workstation, field 5 our window or 0.
bool qxClient::handleDeviceMessage(const decodeZORVString& fields) {
    const std::string ownWindow =
        formatText("%u", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(messageWindow)));
    if (ownWindow != fields[5] && wireToInt(fields[5]) != 0) return false;
    const int device = wireToInt(fields[1]);
    const int sender = wireToInt(fields[2]);
    const std::string message = fields[3];
    if (checkDevice(device) || checkWorkstation(sender) || checkString(message)) return false;
    const int addressed = wireToInt(fields[4]);
    if (addressed != 0 && addressed != workstation) return false;
    ++traffic.rx;
    if (callback != nullptr) callback->deviceMessage(sender, device, message, wireToInt(fields[6]));
    return true;
}

bool qxClient::handleDatabaseChange(const decodeZORVString& fields) {
    const int device = wireToInt(fields[1]);
    if (checkDevice(device)) return false;
    const int index = wireToInt(fields[2]);
    if (databaseIndexInvalid(static_cast<unsigned>(index))) return false;
    const int database = wireToInt(fields[3]);
    if (checkDatabase(database, databaseCount)) return false;
    ++traffic.rx;
    if (callback != nullptr) callback->databaseChange(device, index, database);
    return true;
}

// Device mode texts carry the index before the device.
void qxClient::handleDeviceMode(const char* text) {
    decodeZORVString fields(text);
    if (callback == nullptr) return;
    const int index = wireToInt(fields[1]);
    const int device = wireToInt(fields[2]);
    const std::string keyword = fields[0];
    if (keyword == "NA") callback->deviceMode(device, index, qx::tx);
    else if (keyword == "NI") callback->deviceMode(device, index, qx::rx);
    else if (keyword == "NB") callback->deviceMode(device, index, qx::broken);
}
