#include "Infodriver.h"

#include <algorithm>
#include <cstring>

#include "decodeZORVString.h"
#include "infodriverWindowClass.h"
#include "qxConfig.h"
#include "zorvMessages.h"
#include "zorvText.h"
#include "zorvwm32.h"

namespace infodriver {

using namespace zorvmsg;

namespace {

constexpr char portClass[] = "ZorvInfodriverPort";
constexpr WPARAM nowBit = 0x8000;
constexpr size_t slotReplyRoom = 300;  // a driver's read block
constexpr UINT reportMessage = WM_APP + 0x62;  // posted to the main window: tell the hub

HINSTANCE instance() { return GetModuleHandleA(nullptr); }

HWND asWindow(WPARAM value) { return reinterpret_cast<HWND>(static_cast<UINT_PTR>(value)); }

WORD low16(HWND window) { return static_cast<WORD>(reinterpret_cast<UINT_PTR>(window) & 0xFFFF); }

}  // namespace

struct Infodriver::Endpoint {
    Infodriver* owner;
    Driver* driver;  // null for the main window
    // The request that copyDataReceive or the interface library is handing
    // to this window as a message with a block.
    UINT pendingCode = 0;
};

bool Infodriver::registerClasses() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.cbWndExtra = sizeof(LONG_PTR);
    windowClass.hInstance = instance();
    windowClass.lpszClassName = infodriverWindowClass;
    const bool main = RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    windowClass.lpszClassName = portClass;
    const bool port = RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    return main && port;
}

void Infodriver::unregisterClasses() {
    UnregisterClassA(infodriverWindowClass, instance());
    UnregisterClassA(portClass, instance());
}

Infodriver::Infodriver(int device, int slotCount, const std::map<int, std::string>& initial,
                       const InfodriverOptions& options)
    : device_(device), slots_(static_cast<size_t>(std::max(slotCount, 0)) + 1), options_(options) {
    for (const auto& [index, text] : initial) {
        if (index >= 1 && index < static_cast<int>(slots_.size())) slots_[static_cast<size_t>(index)] = text;
    }
}

Infodriver::~Infodriver() {
    for (Driver& driver : drivers_) {
        if (!driver.gone) SendMessageA(driver.window, hubDisconnects, 0, 0);  // the drivers hear we go
        if (driver.port != nullptr) DestroyWindow(driver.port);
    }
    if (window_ != nullptr) DestroyWindow(window_);
}

bool Infodriver::create() {
    mainEndpoint_ = &endpoints_.emplace_back(Endpoint{this, nullptr});
    // Top-level, so that broadcasts reach it.
    window_ = CreateWindowExA(0, infodriverWindowClass, infodriverWindowName(device_).c_str(), 0, 0, 0, 0, 0,
                              nullptr, nullptr, instance(), mainEndpoint_);
    return window_ != nullptr;
}

LRESULT CALLBACK Infodriver::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* endpoint = reinterpret_cast<Endpoint*>(GetWindowLongPtrA(window, 0));
    if (endpoint == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    // A request being handed over with its block.
    if (endpoint->pendingCode != 0 && endpoint->pendingCode == message) {
        endpoint->pendingCode = 0;
        if (lParam == 0 || transportDeliversNumber(window, message, lParam)) return 0;
        return endpoint->owner->handleRequest(endpoint->driver, message, wParam, reinterpret_cast<char*>(lParam));
    }
    if (message == WM_COPYDATA || message == zorvwm32::zelMessage) {
        const UINT outer = endpoint->pendingCode;
        LRESULT result = 1;
        if (message == WM_COPYDATA) {
            const auto* envelope = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            if (envelope == nullptr) return 0;
            endpoint->pendingCode = static_cast<UINT>((envelope->dwData >> 16) & 0xFFFF);
            copyDataReceive(window, asWindow(wParam & 0xFFFF), envelope);
        } else {
            endpoint->pendingCode = static_cast<UINT>((wParam >> 16) & 0xFFFF);
            result = zel::receive(window, wParam, lParam);
        }
        endpoint->pendingCode = outer;
        return result;
    }
    return endpoint->owner->handle(window, endpoint->driver, message, wParam, lParam);
}

LRESULT Infodriver::handle(HWND window, Driver* from, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case infodriverAnnounceWm:
    case infodriverAnnounceZel:
        if (lParam != device_) return 0;
        attach(asWindow(wParam), message == infodriverAnnounceZel ? qx::zel : qx::wm);
        return 1;
    case infodriverLeave:
        if (from != nullptr && lParam == device_) leave(*from);
        return 1;
    case limitDevices: return options_.maxDevices;
    case limitIndexes: return options_.maxIndexes != 0 ? options_.maxIndexes : static_cast<LRESULT>(slots_.size() - 1);
    case limitSources:
    case limitDatabases:
    case limitString: return 0;
    case slotRange: reportRange(static_cast<int>(wParam), static_cast<int>(lParam & 0xFFFF)); return 1;
    case redundancyQuery: return redundancyAnswer(from);
    case redundancySet:
        if (from != nullptr) setRole(*from, wParam);
        return 1;
    case infodriverStatus: return driverCount();
    case infodriverNotify: lastNotify_ = lParam; return 1;
    case hubAnswer: hub_ = asWindow(wParam); return 0;
    case reportMessage: pushToHub(); return 0;
    case WM_CLOSE: PostQuitMessage(0); return 0;  // ends the host, whoever asks
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT Infodriver::handleRequest(Driver* from, UINT code, WPARAM wParam, char* block) {
    switch (code) {
    case slotSet: return applyFrom(from, static_cast<int>(wParam & ~nowBit), block) ? 1 : 0;
    case slotText: return applyFrom(from, static_cast<int>(wParam), block) ? 1 : 0;
    case slotGet: {
        const int index = static_cast<int>(wParam);
        readSlot(index, block);
        return index >= 1 && index < static_cast<int>(slots_.size()) ? 1 : 0;
    }
    case infodriverHubWrite: {  // "IW device 'text' slot ws"
        const decodeZORVString fields(block);
        if (wireToInt(fields[1]) != device_) return 0;
        requestWrite(wireToInt(fields[3]), fields[2], wireToInt(fields[4]));
        return 1;
    }
    case generalText:
        if (from != nullptr) return relayDeviceMessage(block);
        deviceMessageFromHub(block);
        return 1;
    default: log(formatText("infodriver %d: request %u ignored", device_, code)); return 0;
    }
}

// ------------------------------------------------------------------- drivers

void Infodriver::attach(HWND driverWindow, qx::ipcType transport) {
    auto known = std::find_if(drivers_.begin(), drivers_.end(),
                              [&](const Driver& d) { return !d.gone && low16(d.window) == low16(driverWindow); });
    Driver* driver = known != drivers_.end() ? &*known : nullptr;
    if (driver == nullptr) {
        driver = &drivers_.emplace_back();
        driver->window = driverWindow;
        Endpoint* endpoint = &endpoints_.emplace_back(Endpoint{this, driver});
        driver->port = CreateWindowExA(0, portClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance(), endpoint);
        // The first driver that does not insist on standing by transmits.
        // While this asks, the tx driver may leave and hand tx over to this
        // very driver: that stays so.
        const bool standsBy = SendMessageA(driverWindow, redundancyStandby, 0, 0) == 1;
        if (driver->role != Role::tx) driver->role = txDriver() == nullptr && !standsBy ? Role::tx : Role::rx;
    }
    driver->transport = transport;
    SendMessageA(driverWindow, infodriverAnswer, reinterpret_cast<WPARAM>(driver->port), 0);
}

void Infodriver::leave(Driver& driver) {
    driver.gone = true;
    if (driver.role == Role::tx) {
        driver.role = Role::rx;
        handOver();
    }
}

void Infodriver::setRole(Driver& driver, WPARAM requested) {
    if (requested == qx::rx) {
        const bool wasTx = driver.role == Role::tx;
        driver.role = Role::rx;
        if (wasTx) handOver();
        return;
    }
    if (requested != qx::tx && requested != qx::forceTx) return;
    for (Driver& other : drivers_) {
        if (&other == &driver || other.gone || other.role != Role::tx) continue;
        other.role = Role::rx;
        SendMessageA(other.window, redundancyDemote, 0, 0);
    }
    driver.role = Role::tx;
}

// The first rx driver, in the order they came, that is willing takes tx.
void Infodriver::handOver() {
    for (Driver& driver : drivers_) {
        if (driver.gone || driver.role != Role::rx || !IsWindow(driver.window)) continue;
        if (SendMessageA(driver.window, redundancyWilling, 0, 0) != 1) continue;
        if (SendMessageA(driver.window, redundancyOffer, 0, 0) != 1) continue;
        driver.role = Role::tx;
        log(formatText("infodriver %d: tx handed over", device_));
        return;
    }
}

void Infodriver::reap() {
    for (Driver& driver : drivers_) {
        if (!driver.gone && !IsWindow(driver.window)) leave(driver);
    }
    for (auto it = drivers_.begin(); it != drivers_.end();) {
        if (!it->gone) {
            ++it;
            continue;
        }
        SetWindowLongPtrA(it->port, 0, 0);  // its last messages find no endpoint
        DestroyWindow(it->port);
        endpoints_.remove_if([&](const Endpoint& e) { return e.driver == &*it; });
        it = drivers_.erase(it);
    }
}

LRESULT Infodriver::redundancyAnswer(const Driver* driver) const {
    if (driver == nullptr) return 0;
    return driver->role == Role::tx ? qx::tx : qx::rx;
}

int Infodriver::driverCount() const {
    return static_cast<int>(std::count_if(drivers_.begin(), drivers_.end(), [](const Driver& d) { return !d.gone; }));
}

HWND Infodriver::txDriver() const {
    for (const Driver& driver : drivers_) {
        if (!driver.gone && driver.role == Role::tx) return driver.window;
    }
    return nullptr;
}

LONG Infodriver::sendToDriver(const Driver& driver, UINT code, WPARAM parameter, const std::string& text) {
    std::string block = text;
    const auto length = static_cast<DWORD>(block.size() + 1);
    if (driver.transport == qx::zel) {
        return zel::send(driver.window, code, static_cast<LONG>(parameter), block.data(), zorvwm32::textKind,
                         static_cast<int>(length));
    }
    return copyDataSend(driver.port, driver.window, code, static_cast<LONG>(parameter), block.data(), length, 0,
                        zorvwm32::textKind);
}

// --------------------------------------------------------------------- slots

std::string Infodriver::slot(int index) const {
    return index >= 1 && index < static_cast<int>(slots_.size()) ? slots_[static_cast<size_t>(index)] : std::string();
}

void Infodriver::requestWrite(int index, const std::string& text, int workstation) {
    if (index < 1 || index >= static_cast<int>(slots_.size())) return;
    for (const Driver& driver : drivers_) {
        if (driver.gone || driver.role != Role::tx) continue;
        requestedBy_[index] = workstation;
        sendToDriver(driver, slotWriteRequest, static_cast<WPARAM>(index), text);
        return;
    }
    apply(index, text, workstation);
}

// Writes come from the tx driver; while there is none, from any driver.
bool Infodriver::applyFrom(const Driver* from, int index, const std::string& text) {
    if (index < 1 || index >= static_cast<int>(slots_.size())) return false;
    if (from != nullptr && from->role != Role::tx && txDriver() != nullptr) {
        log(formatText("infodriver %d: write of slot %d from an rx driver ignored", device_, index));
        return false;
    }
    const auto asked = requestedBy_.find(index);
    const int workstation = asked != requestedBy_.end() ? asked->second : qxConfig::workstation();
    if (asked != requestedBy_.end()) requestedBy_.erase(asked);
    apply(index, text, workstation);
    return true;
}

void Infodriver::apply(int index, const std::string& text, int workstation) {
    slots_[static_cast<size_t>(index)] = text;
    reportToHub(formatText("IR %d %d %d '%s'", device_, index, workstation, text.c_str()));
}

void Infodriver::reportRange(int first, int last) {
    first = std::max(first, 1);
    last = std::min(last, static_cast<int>(slots_.size()) - 1);
    for (int index = first; index <= last; ++index) {
        reportToHub(formatText("IR %d %d %d '%s'", device_, index, qxConfig::workstation(),
                                    slots_[static_cast<size_t>(index)].c_str()));
    }
}

void Infodriver::readSlot(int index, char* block) const {
    const std::string text = slot(index);
    const size_t length = std::min(text.size(), slotReplyRoom - 1);
    std::memcpy(block, text.data(), length);
    block[length] = 0;
}

// ----------------------------------------------------------- device messages

// From a driver: "NS device workstation 'text' target second third", relayed
// to the hub as its command "NS device target 'text' workstation 0 0". The
// answer is 0 when relayed (a driver takes a non-zero low byte for failure).
LRESULT Infodriver::relayDeviceMessage(const char* text) {
    const decodeZORVString fields(text);
    if (!findHub()) return 1;
    std::string command = formatText("NS %s %s '%s' %s 0 0", fields[1], fields[4], fields[3], fields[2]);
    const auto length = static_cast<DWORD>(command.size() + 1);
    copyDataSend(window_, hub_, deviceMessageCommand, device_, command.data(), length, 0, zorvwm32::textKind);
    return 0;
}

// From the hub: "NS device workstation 'message' target 0 reference"; passed
// on to the drivers when it names this device and this workstation or all.
void Infodriver::deviceMessageFromHub(const char* text) {
    const decodeZORVString fields(text);
    if (wireToInt(fields[1]) != device_) return;
    const int here = qxConfig::workstation();
    const int target = wireToInt(fields[4]);
    if (target != 0 && target != here) return;
    sendDeviceMessage(formatText("NS %d %d '%s' %s '' '%s'", device_, here, fields[3], fields[2], fields[6]));
}

void Infodriver::sendDeviceMessage(const std::string& text) {
    for (const Driver& driver : drivers_) {
        if (!driver.gone) sendToDriver(driver, deviceMessageCommand, 0, text);
    }
}

// ----------------------------------------------------------------------- hub

// The hub is found like a client finds it, by the broadcast it answers with
// 2032; while none answers, the search is repeated at most once an interval.
bool Infodriver::findHub() {
    if (hub_ != nullptr && IsWindow(hub_)) return true;
    hub_ = nullptr;
    const DWORD now = GetTickCount();
    if (searchedHub_ && now - lastHubSearch_ < options_.hubSearchIntervalMs) return false;
    searchedHub_ = true;
    lastHubSearch_ = now;
    SendMessageA(HWND_BROADCAST, requestHubAgain, reinterpret_cast<WPARAM>(window_), 0);
    if (hub_ == nullptr) return false;
    SendMessageA(hub_, subscribeNet, reinterpret_cast<WPARAM>(window_), 0);
    return true;
}

// Reports go out from the loop, after the message that set the slot: never
// during a driver's send.
void Infodriver::reportToHub(std::string text) {
    if (toHub_.empty()) PostMessageA(window_, reportMessage, 0, 0);
    toHub_.push_back(std::move(text));
}

void Infodriver::pushToHub() {
    if (toHub_.empty()) return;
    if (!findHub()) {
        toHub_.clear();  // a hub that comes later reads the slots when it needs them
        return;
    }
    while (!toHub_.empty()) {
        std::string text = std::move(toHub_.front());
        toHub_.pop_front();
        copyDataSend(window_, hub_, infodriverChanged, device_, text.data(), static_cast<DWORD>(text.size() + 1), 0,
                     zorvwm32::textKind);
    }
}

void Infodriver::tick() {
    reap();
    pushToHub();
}

void Infodriver::log(const std::string& line) const {
    if (options_.log) options_.log(line);
}

}  // namespace infodriver
