// The infodriver client object: its message window, connection, limits,
// counters, redundancy, and the window procedure with its queue and drain.
#include "qxInfodriver.h"


#include "decodeZORVString.h"
#include "ownedWindow.h"
#include "qxConfig.h"
#include "zorvMessages.h"
#include "zorvText.h"
#include "zorvwm32.h"

extern const char qxInfodriverSignature[] =
    "ZORV_SIG,name=qxInfodriver,type=LIB,version=1.0.8.0,date=2026-12-08,author=zorv,build=release";

namespace {

constexpr unsigned noLimit = 2147483647;

using InfoHwndEntry = HWND (*)(int);
using namespace zorvmsg;

}  // namespace

qxInfodriver::qxInfodriver(IqxInfodriverCallback* callbackArgument, const std::string& nameArgument)
    : qxCheck(nameArgument), callback(callbackArgument), workstation(qxConfig::workstation()) {
    createMessageWindow();
}

void qxInfodriver::createMessageWindow() {
    messageWindow = zorvwm32::createOwnedMessageWindow("qxInfodriverMessageWindow", windowProcedure, this);
    if (messageWindow == nullptr) {
        MessageBoxA(nullptr, "Cannot create qxInfodriverMessageWindow", "Very Serious Error!", MB_OK);
    }
}

qxInfodriver::~qxInfodriver() {
    if (alive != nullptr) *alive = false;
    callback = nullptr;
    if (closeHostOnExit && infodriverWindow != nullptr) PostMessageA(infodriverWindow, WM_CLOSE, 0, 0);
    if (messageWindow != nullptr) zorvwm32::destroyOwnedMessageWindow(messageWindow);  // WM_DESTROY disconnects
    inboundQueue.clear();
}

template <typename Call>
bool qxInfodriver::notify(Call&& call) {
    if (callback == nullptr) return true;
    bool stillAlive = true;
    bool* outer = alive;
    alive = &stillAlive;
    call(*callback);
    if (!stillAlive) {
        if (outer != nullptr) *outer = false;
        return false;
    }
    alive = outer;
    return true;
}

// ------------------------------------------------------------------ connection

bool qxInfodriver::connect(int deviceArgument, qx::ipcType ipcArgument, int ipcOptionsArgument) {
    if (infodriverWindow != nullptr && IsWindow(infodriverWindow)) disconnect();
    device = deviceArgument;
    ipc = ipcArgument;
    ipcOptions = ipcOptionsArgument;
    infodriverWindow = nullptr;

    findWithTessil();
    UINT announce = 0;
    if (ipc == qx::wm) announce = infodriverAnnounceWm;
    else if (ipc == qx::zel) announce = infodriverAnnounceZel;
    if (announce != 0) {
        // An infodriver answers with 2729 during this send, which sets infodriverWindow.
        HWND target = infodriverWindow != nullptr ? infodriverWindow : HWND_BROADCAST;
        SendMessageA(target, announce, reinterpret_cast<UINT_PTR>(messageWindow) & 0xFFFF, device);
    }
    if (infodriverWindow == nullptr) return true;

    loadLimits();
    if (!notify([&](IqxInfodriverCallback& c) { c.connected(device); })) return false;
    const LRESULT answer = SendMessageA(infodriverWindow, redundancyQuery, 0, 0);
    state = answer == 1 ? qx::rx : (answer == 2 || answer == 3) ? qx::tx : qx::unknown;
    notify([&](IqxInfodriverCallback& c) { c.redundancyChange(device, state); });
    return false;
}

void qxInfodriver::findWithTessil() {
    HMODULE tessil = LoadLibraryA("tessil32.dll");
    if (tessil == nullptr) return;
    auto infoHwnd = reinterpret_cast<InfoHwndEntry>(GetProcAddress(tessil, "infoHwnd"));
    if (infoHwnd != nullptr) {
        infodriverWindow = infoHwnd(device);
        OutputDebugStringA(formatText("qxInfodriver: Handle for Infodriver %d is 0x%0x", device,
                                      static_cast<unsigned>(reinterpret_cast<UINT_PTR>(infodriverWindow)))
                               .c_str());
    }
    FreeLibrary(tessil);
}

void qxInfodriver::loadLimits() {
    setDeviceLimit(static_cast<int>(askInfodriver(limitDevices, noLimit)));
    setIndexLimit(static_cast<int>(askInfodriver(limitIndexes, noLimit)));
    setSourceLimit(static_cast<int>(askInfodriver(limitSources, noLimit)));
    setDatabaseLimit(static_cast<int>(askInfodriver(limitDatabases, 10)));
}

bool qxInfodriver::disconnect() {
    state = qx::unknown;
    if (infodriverWindow == nullptr || !IsWindow(infodriverWindow)) return true;
    SendMessageA(infodriverWindow, infodriverLeave, 0, device);
    infodriverWindow = nullptr;
    ipc = qx::none;
    notify([&](IqxInfodriverCallback& c) { c.disconnected(device); });
    return false;
}

bool qxInfodriver::isConnected() { return infodriverWindow != nullptr && IsWindow(infodriverWindow) != FALSE; }

unsigned qxInfodriver::askInfodriver(UINT message, unsigned whenNone) {
    const auto answer = static_cast<unsigned>(SendMessageA(infodriverWindow, message, 0, 0));
    return answer != 0 ? answer : whenNone;
}

unsigned qxInfodriver::maxDatabases() { return askInfodriver(limitDatabases, 10); }
unsigned qxInfodriver::maxDevices() { return askInfodriver(limitDevices, noLimit); }
unsigned qxInfodriver::maxIndexes() { return askInfodriver(limitIndexes, noLimit); }
unsigned qxInfodriver::maxSources() { return askInfodriver(limitSources, noLimit); }
unsigned qxInfodriver::maxString() { return askInfodriver(limitString, 256); }

bool qxInfodriver::counters(unsigned& tx, unsigned& rx) { return traffic.read(tx, rx); }

void qxInfodriver::resetCounters() { traffic.reset(); }

// ------------------------------------------------------------------ redundancy

void qxInfodriver::takeState(qx::redundancyState newState) {
    state = newState;
    notify([&](IqxInfodriverCallback& c) { c.redundancyChange(device, newState); });
}

void qxInfodriver::setRedundancyState(int newState, bool force) {
    if (newState == qx::tx) {
        SendMessageA(infodriverWindow, redundancySet, force ? qx::forceTx : qx::tx, 0);
        takeState(qx::tx);
    } else if (newState == qx::rx) {
        SendMessageA(infodriverWindow, redundancySet, qx::rx, 0);
        takeState(qx::rx);
    }
}

void qxInfodriver::setRedundancyMode(int newMode, bool apply, bool force) {
    mode = newMode;
    if (!apply) return;
    if (newMode == qx::primary) setRedundancyState(qx::tx, force);
    else if (newMode == qx::secondary) setRedundancyState(qx::rx, force);
}

LRESULT qxInfodriver::queryStatus() { return SendMessageA(infodriverWindow, infodriverStatus, 0, 0); }

LRESULT qxInfodriver::notifyValue(int value) {
    const auto packed = (static_cast<DWORD>(value & 0xFFFF) << 16) | static_cast<DWORD>(device & 0xFFFF);
    return SendMessageA(infodriverWindow, infodriverNotify, reinterpret_cast<WPARAM>(infodriverWindow),
                        static_cast<LPARAM>(packed));
}

// ------------------------------------------------------------ window procedure

LRESULT CALLBACK qxInfodriver::windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
        return DefWindowProcA(window, message, wParam, lParam);
    }
    switch (message) {
    case WM_COPYDATA:
        copyDataReceive(window, reinterpret_cast<HWND>(static_cast<UINT_PTR>(wParam & 0xFFFF)),
                        reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        return 1;
    case zorvwm32::zelMessage: return zel::receive(window, wParam, lParam);
    default: break;
    }
    auto* self = reinterpret_cast<qxInfodriver*>(GetWindowLongPtrA(window, 0));
    if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    return self->handle(window, message, wParam, lParam);
}

// Every case that calls back returns at once afterwards: the callback may
// have destroyed this object.
LRESULT qxInfodriver::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Texts come by pointer; a number from a numeric envelope is never read as one.
    const bool pointerless = lParam == 0 || transportDeliversNumber(window, message, lParam);
    const auto* text = pointerless ? nullptr : reinterpret_cast<const char*>(lParam);
    switch (message) {
    case WM_DESTROY: disconnect(); break;
    case deviceMessageCommand:
        if (text != nullptr) queue(deviceMessageRecord, 0, text);
        return 1;
    case hubDisconnects:
        notify([&](IqxInfodriverCallback& c) { c.disconnected(device); });
        return DefWindowProcA(window, message, wParam, lParam);
    case redundancyStandby: return mode != qx::primary ? 1 : 0;
    case redundancyOffer:
        if (mode != qx::primary) return 0;
        takeState(qx::tx);
        return 1;
    case redundancyWilling: return mode == qx::primary ? 1 : 0;
    case redundancyDemote: takeState(qx::rx); return 0;
    case drainMessage: drain(); return DefWindowProcA(window, message, wParam, lParam);
    case slotWriteRequest:
        if (text != nullptr) queue(slotWriteRecord, static_cast<int>(wParam), text);
        return 1;
    case infodriverAnswer: infodriverWindow = reinterpret_cast<HWND>(wParam); break;
    default: break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// ------------------------------------------------------------- queue and drain

void qxInfodriver::queue(int kind, int parameter, const char* text) {
    inboundQueue.push_back({kind, parameter, text});
    PostMessageA(messageWindow, drainMessage, 0, 0);
}

// Each record is removed before its callback runs and the queue is read again
// after every record, so a nested drain started from a callback is harmless.
// A device message that fails a check ends this drain; the records still
// queued each posted a drain message of their own.
void qxInfodriver::drain() {
    while (!inboundQueue.empty()) {
        const InboundRecord record = std::move(inboundQueue.front());
        inboundQueue.pop_front();
        if (callback == nullptr) continue;
        if (record.kind == slotWriteRecord) {
            ++traffic.rx;
            if (!notify([&](IqxInfodriverCallback& c) { c.slotWrite(device, record.parameter, record.text); }))
                return;
        } else if (record.kind == deviceMessageRecord) {
            if (!deliverDeviceMessage(record.text)) return;
        }
    }
}

// "NS device workstation 'text' sender 'second' 'third'": false when a check
// failed or the callback destroyed this object.
bool qxInfodriver::deliverDeviceMessage(const std::string& text) {
    const decodeZORVString fields(text);
    if (fields.count() < 7) return false;
    const int messageDevice = wireToInt(fields[1]);
    if (checkDevice(messageDevice) || messageDevice != device) return false;
    const int addressed = wireToInt(fields[2]);
    if (checkWorkstation(addressed) || addressed != workstation) return false;
    const std::string message = fields[3];
    if (checkString(message)) return false;
    const int sender = wireToInt(fields[4]);
    if (checkWorkstation(sender)) return false;
    const std::string second = fields[5];
    const std::string third = fields[6];
    if (checkString(second) || checkString(third)) return false;
    ++traffic.rx;
    return notify([&](IqxInfodriverCallback& c) { c.deviceMessage(sender, messageDevice, message, second, third); });
}
