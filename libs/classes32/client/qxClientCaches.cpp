// Requests to the hub's value cache and device databases, and the network
// and configuration-change messages.
#include <cstring>

#include "qxClient.h"
#include "zorvMessages.h"
#include "zorvText.h"
#include "zorvwm32.h"

namespace {




using namespace zorvmsg;

constexpr const char* missingValue = "- - -";
constexpr DWORD cacheReplyCapacity = 300;
constexpr DWORD nameShortSize = 256;
constexpr DWORD nameWideSize = 1041;
constexpr DWORD nameWideOffset = 16;
constexpr DWORD nameRecordSize = 264;

void put16(unsigned char* at, unsigned value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

void put32(unsigned char* at, unsigned value) {
    put16(at, value & 0xFFFF);
    put16(at + 2, value >> 16);
}

// The text at `at`, up to its first zero byte but never past `size` bytes.
std::string boundedText(const unsigned char* at, size_t size) {
    const void* end = std::memchr(at, 0, size);
    const size_t length = end ? static_cast<size_t>(static_cast<const unsigned char*>(end) - at) : size;
    return std::string(reinterpret_cast<const char*>(at), length);
}

}  // namespace

void qxClient::cacheEnable(bool state) { SendMessageA(hubWindow, cacheSwitch, state ? 1 : 0, 0); }

void qxClient::cacheFlush(int device) {
    if (checkDevice(device)) return;
    SendMessageA(hubWindow, cacheFlushDevice, static_cast<WPARAM>(device), 0);
}

int qxClient::cacheIndex(int device, int start, int end, const std::string& value) {
    if (SendMessageA(hubWindow, cacheIsOn, 0, 0) == 0) return 0;
    if (checkDevice(device) || checkIndexRange(start, end) || checkString(value)) return 0;
    std::string text = formatText("DI %d %d %d '%s'", device, start, end, value.c_str());
    if (!commandFits(text)) return 0;
    return sendText(cacheIndexOf, 0, text.data(), static_cast<DWORD>(text.size() + 1), 0, zorvwm32::textKind);
}

bool qxClient::cacheTest(int device, int start, int end) {
    if (SendMessageA(hubWindow, cacheIsOn, 0, 0) == 0) return false;
    if (checkDevice(device) || checkIndexRange(start, end)) return false;
    if (device <= 65535 && start <= 65535 && end <= 65535) {
        const LPARAM range = (static_cast<LPARAM>(end & 0xFFFF) << 16) | (start & 0xFFFF);
        return SendMessageA(hubWindow, cacheTestShort, static_cast<WPARAM>(device), range) != 0;
    }
    unsigned char record[12];
    put32(record, static_cast<unsigned>(device));
    put32(record + 4, static_cast<unsigned>(start));
    put32(record + 8, static_cast<unsigned>(end));
    return sendText(cacheTestLong, 0, record, sizeof record, 0, zorvwm32::textKind) != 0;
}

bool qxClient::cacheValue(int device, int index, std::string& value, int* result) {
    if (checkDevice(device) || checkIndex(index)) return true;
    const std::string request = formatText("DG %d %d", device, index);
    unsigned char reply[cacheReplyCapacity + 1] = {};  // one byte more: always terminated
    std::memcpy(reply, request.c_str(), request.size() + 1);
    const LONG code = sendText(cacheRead, 0, reply, cacheReplyCapacity, cacheReplyCapacity, zorvwm32::textKind);
    if (result != nullptr) *result = code;
    const std::string answer = boundedText(reply, cacheReplyCapacity);
    if (answer == request) {
        value = missingValue;
        return true;
    }
    value = answer;
    return false;
}

bool qxClient::databaseName(int device, int index, int database, std::string& nameOut) {
    if (checkDevice(device) || checkDatabase(database, databaseCount)) return true;
    if (static_cast<unsigned>(maxDatabaseIndex) > 65535) {
        unsigned char buffer[nameWideSize] = {};
        put32(buffer, static_cast<unsigned>(device));
        put32(buffer + 4, static_cast<unsigned>(database));
        put32(buffer + 8, static_cast<unsigned>(index));
        put32(buffer + 12, 1024);
        sendText(nameReadLong, 0, buffer, nameWideSize, nameWideSize, zorvwm32::textKind,
                 zorvwm32::ReplyForm::record);
        nameOut = boundedText(buffer + nameWideOffset, nameWideSize - nameWideOffset);
        return false;
    }
    unsigned char buffer[nameShortSize] = {};
    put16(buffer, static_cast<unsigned>(device));
    put16(buffer + 2, static_cast<unsigned>(database));
    put16(buffer + 4, static_cast<unsigned>(index));
    unsigned char request[6];
    std::memcpy(request, buffer, sizeof request);
    sendText(nameReadShort, 0, buffer, nameShortSize, nameShortSize, zorvwm32::textKind);
    if (std::memcmp(request, buffer, sizeof request) == 0) {
        nameOut = missingValue;
        return true;
    }
    nameOut = boundedText(buffer, nameShortSize);
    return false;
}

int qxClient::databaseIndex(int device, int database, const std::string& wantedName) {
    if (checkDevice(device) || checkDatabase(database, databaseCount) || checkString(wantedName)) return 0;
    if ((database == 0 || database == 1) && wantedName.size() < 256) {
        std::string text = wantedName;
        const LONG parameter = device + (database == 1 ? 0x8000 : 0);
        return sendText(nameFindText, parameter, text.data(), static_cast<DWORD>(text.size() + 1), 0,
                        zorvwm32::textKind);
    }
    if (device <= 65535 && database <= 65535 && wantedName.size() < 256) {
        unsigned char record[nameRecordSize] = {};
        put16(record, static_cast<unsigned>(device));
        put16(record + 2, static_cast<unsigned>(database));
        put32(record + 4, 1);
        std::memcpy(record + 8, wantedName.data(), wantedName.size());
        return sendText(nameFindShort, 0, record, nameRecordSize, 0, zorvwm32::textKind);
    }
    std::string record(wantedName.size() + 21, '\0');
    auto* bytes = reinterpret_cast<unsigned char*>(record.data());
    put32(bytes, static_cast<unsigned>(device));
    put32(bytes + 4, static_cast<unsigned>(database));
    put32(bytes + 8, 1);
    put32(bytes + 12, 0);
    std::memcpy(bytes + 20, wantedName.data(), wantedName.size());
    return sendText(nameFindLong, 0, bytes, static_cast<DWORD>(record.size()), 0, zorvwm32::textKind);
}

bool qxClient::databaseModify(int device, int index, int database, const std::string& newName, bool tallyDump,
                              bool includeHandle, int ws) {
    if (!writeEnabled) return true;
    if (checkDevice(device)) return true;
    if (ws != 0 && checkWorkstation(ws)) return true;
    const int useWorkstation = workstationOrOwn(ws);
    if (index < 0 || static_cast<unsigned>(index) > static_cast<unsigned>(maxDatabaseIndex)) {
        OutputDebugStringA("database modify index <0 or > maxDatabaseIndex\n");
        return true;
    }
    if (checkDatabase(database, databaseCount) || checkString(newName)) return true;
    const int handle = includeHandle ? static_cast<int>(reinterpret_cast<INT_PTR>(messageWindow)) : 0;
    std::string text = formatText("RM %d %d %d '%s' %d %d %d", device, database, index, newName.c_str(),
                                  tallyDump ? 1 : 0, useWorkstation, handle);
    if (!commandFits(text)) return true;
    const auto length = static_cast<DWORD>(text.size() + 1);
    sendText(routerCommand, device & 0xFFFF, text.data(), length, 0, zorvwm32::textKind);
    sendText(nameChange, 0, text.data(), length, 0, zorvwm32::textKind);
    ++traffic.tx;
    return false;
}

void qxClient::flushDatabaseCache(int device) {
    SendMessageA(hubWindow, nameCacheFlush, static_cast<WPARAM>(device), 0);
}

void qxClient::registerForNetMessage() {
    SendMessageA(hubWindow, subscribeNet, reinterpret_cast<WPARAM>(messageWindow), 0);
}

void qxClient::deregisterForNetMessage() {
    SendMessageA(hubWindow, unsubscribeNet, reinterpret_cast<WPARAM>(messageWindow), 0);
}

void qxClient::sendConfigChangeMessage(const std::string& message) {
    std::string text = message;  // the transport may write a reply back into the buffer
    sendText(configChangeIn, static_cast<LONG>(text.size()), text.data(), static_cast<DWORD>(text.size()), 0,
             zorvwm32::textKind);
}
