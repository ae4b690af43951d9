// Outbound commands and revertive registration.
#include <cstring>

#include "decodeZORVString.h"
#include "qxClient.h"
#include "zorvMessages.h"
#include "zorvText.h"
#include "zorvwm32.h"

namespace {


using namespace zorvmsg;

constexpr int nowBit = 0x8000;
constexpr DWORD profileCapacity = 300;

UINT codeForLetter(char letter) {
    switch (letter) {
    case 'R': return routerCommand;
    case 'I': return infodriverCommand;
    case 'G': return gpiCommand;
    default: return 0;
    }
}

// Little-endian record of 16- or 32-bit fields, as the hub reads it.
class Record {
public:
    void put16(int value) { put(static_cast<unsigned>(value), 2); }
    void put32(int value) { put(static_cast<unsigned>(value), 4); }
    unsigned char* data() { return bytes_; }
    DWORD size() const { return size_; }

private:
    void put(unsigned value, int width) {
        for (int i = 0; i < width; ++i) bytes_[size_++] = static_cast<unsigned char>(value >> (8 * i));
    }
    unsigned char bytes_[16] = {};
    DWORD size_ = 0;
};

}  // namespace

// Over window messages a command text must fit the 512-byte block with its
// terminator; the interface library carries the whole buffer.
bool qxClient::commandFits(const std::string& text) {
    if (ipc != qx::wm || text.size() < zorvwm32::textBlockSize) return true;
    report(formatText("Command not sent, longer than %u bytes: %.40s...",
                      static_cast<unsigned>(zorvwm32::textBlockSize - 1), text.c_str()));
    return false;
}

void qxClient::sendCommand(UINT code, int device, bool now, std::string text) {
    if (!commandFits(text)) return;
    const LONG parameter = (device & 0xFFFF) | (now ? nowBit : 0);
    sendText(code, parameter, text.data(), static_cast<DWORD>(text.size() + 1), 0, zorvwm32::textKind);
    ++traffic.tx;
}

void qxClient::routerCrosspoint(int device, int dest, int source, const std::string& mask, bool now, int ws) {
    if (!writeEnabled) return;
    if (checkDevice(device) || checkIndex(dest) || checkSource(source) || checkString(mask)) return;
    sendCommand(routerCommand, device, now,
                formatText("RC %d %d %d '%s' %d", device, source, dest, mask.c_str(), workstationOrOwn(ws)));
}

void qxClient::infoWrite(int device, int index, const std::string& value, bool now, int ws) {
    if (!writeEnabled) return;
    if (checkDevice(device) || checkIndex(index) || checkString(value)) return;
    if (ws != 0 && checkWorkstation(ws)) return;
    sendCommand(infodriverCommand, device, now,
                formatText("IW %d '%s' %d %d", device, value.c_str(), index, workstationOrOwn(ws)));
}

void qxClient::gpiSwitch(int device, int index, bool state, bool now, int ws) {
    if (!writeEnabled) return;
    if (checkDevice(device) || checkIndex(index)) return;
    if (ws != 0 && checkWorkstation(ws)) return;
    sendCommand(gpiCommand, device, now,
                formatText("GS %d %d %d %d", device, index, state ? 1 : 0, workstationOrOwn(ws)));
}

void qxClient::lockCommand(char letter, int device, int start, int end, bool lock, bool now, int ws) {
    if (!writeEnabled) return;
    if (checkDevice(device) || checkIndexRange(start, end)) return;
    if (ws != 0 && checkWorkstation(ws)) return;
    sendCommand(codeForLetter(letter), device, now,
                formatText("%cL %d %d %d %d %d", letter, device, start, end, lock ? 1 : 0, workstationOrOwn(ws)));
}

void qxClient::rangeCommand(char letter, char operation, int device, int start, int end, bool now) {
    if (checkDevice(device) || checkIndexRange(start, end)) return;
    sendCommand(codeForLetter(letter), device, now,
                formatText("%c%c %d %d %d %d", letter, operation, device, start, end, workstation));
}

void qxClient::fileCommand(char letter, int device) {
    if (!writeEnabled) return;
    if (checkDevice(device)) return;
    if (letter != 'R' && letter != 'G') {
        report("Bum device query type");
        return;
    }
    sendCommand(codeForLetter(letter), device, false, formatText("%cF %d", letter, device));
}

void qxClient::routerLock(int device, int start, int end, bool lock, bool now, int ws) {
    lockCommand('R', device, start, end, lock, now, ws);
}
void qxClient::infoLock(int device, int start, int end, bool lock, bool now, int ws) {
    lockCommand('I', device, start, end, lock, now, ws);
}
void qxClient::gpiLock(int device, int start, int end, bool lock, bool now, int ws) {
    lockCommand('G', device, start, end, lock, now, ws);
}
void qxClient::routerPoll(int device, int start, int end, bool now) { rangeCommand('R', 'P', device, start, end, now); }
void qxClient::infoPoll(int device, int start, int end, bool now) { rangeCommand('I', 'P', device, start, end, now); }
void qxClient::gpiPoll(int device, int start, int end, bool now) { rangeCommand('G', 'P', device, start, end, now); }
void qxClient::routerQuery(int device, int start, int end, bool now) { rangeCommand('R', 'Q', device, start, end, now); }
void qxClient::infoQuery(int device, int start, int end, bool now) { rangeCommand('I', 'Q', device, start, end, now); }
void qxClient::gpiQuery(int device, int start, int end, bool now) { rangeCommand('G', 'Q', device, start, end, now); }
void qxClient::routerFile(int device) { fileCommand('R', device); }
void qxClient::gpiFile(int device) { fileCommand('G', device); }

void qxClient::deviceMessage(int ws, int device, const std::string& message, int reference) {
    if (ws != 0 && checkWorkstation(ws)) return;
    if (checkDevice(device) || checkString(message)) return;
    const auto window = static_cast<unsigned>(reinterpret_cast<UINT_PTR>(messageWindow));
    // Target workstation 0 goes out as 0: it addresses every workstation.
    sendCommand(deviceMessageCommand, device, false,
                formatText("NS %d %d '%s' %d %u %d", device, ws, message.c_str(), workstation, window, reference));
}

void qxClient::deviceProfile(int device, int& version, int& sources, int& dests, std::string& text) {
    version = sources = dests = 0;
    char reply[profileCapacity + 1] = {};  // one byte more: the reply is always terminated
    if (ipc == qx::wm) {
        copyDataSend(messageWindow, hubWindow, profileRequest, device, reply, profileCapacity, profileCapacity,
                     zorvwm32::textKind);
    } else if (ipc == qx::zel) {
        zel::send(hubWindow, profileRequest, device, reply, zorvwm32::textKind, profileCapacity);
    }
    reply[profileCapacity] = '\0';
    if (reply[0] == '\0') return;
    decodeZORVString fields(reply);
    if (fields.count() < 5 || wireToInt(fields[0]) != device) return;
    version = wireToInt(fields[1]);
    sources = wireToInt(fields[3]);
    dests = wireToInt(fields[4]);
    if (fields.count() >= 6) text = fields[5];
}

int qxClient::sendBufferedCommands() { return static_cast<int>(SendMessageA(hubWindow, releaseHeldCommands, 0, 0)); }

void qxClient::revertiveRegister(int device, int start, int end, bool overwrite, int /*pollType*/) {
    if (checkDevice(device) || checkIndexRange(start, end)) return;
    Record record;
    UINT code;
    if (device <= 32767 && start <= 65535 && end <= 65535) {
        record.put16(device | (overwrite ? 0 : nowBit));
        record.put16(start);
        record.put16(end);
        code = registerShort;
    } else {
        record.put32(device);
        record.put32(start);
        record.put32(end);
        record.put32(overwrite ? 1 : 0);
        code = registerLong;
    }
    const auto window = static_cast<LONG>(reinterpret_cast<UINT_PTR>(messageWindow) & 0xFFFF);
    sendText(code, window, record.data(), record.size(), 0, zorvwm32::textKind);
}

void qxClient::revertiveDeregister(int device, int start, int end) {
    if (checkDevice(device)) return;
    if (start == 0 || end == 0) {
        SendMessageA(hubWindow, deregisterDevice, reinterpret_cast<WPARAM>(messageWindow), device);
        return;
    }
    if (checkIndexRange(start, end)) return;
    Record record;
    UINT code;
    if (device <= 65535 && start <= 65535 && end <= 65535) {
        record.put16(device);
        record.put16(start);
        record.put16(end);
        code = deregisterShort;
    } else {
        record.put32(device);
        record.put32(start);
        record.put32(end);
        code = deregisterLong;
    }
    const auto window = static_cast<LONG>(reinterpret_cast<UINT_PTR>(messageWindow) & 0xFFFF);
    sendText(code, window, record.data(), record.size(), 0, zorvwm32::textKind);
}

void qxClient::revertiveDeregisterAll() {
    SendMessageA(hubWindow, deregisterDevice, reinterpret_cast<WPARAM>(messageWindow), 0);
}

bool qxClient::getClientRegistrationExtent(int device, int& min, int& max) {
    const LRESULT answer = SendMessageA(hubWindow, registrationExtent, static_cast<WPARAM>(device), 0);
    min = static_cast<int>(answer & 0xFFFF);
    max = static_cast<int>((answer >> 16) & 0xFFFF);
    return !(min != 0 && max != 0);
}
