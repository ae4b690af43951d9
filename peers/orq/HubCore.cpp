#include "HubCore.h"
#include "zorvMessages.h"

#include "zorvText.h"

namespace orq {

namespace {

// Message numbers of the handshake, the plain requests and the notifications.
using namespace zorvmsg;

constexpr LPARAM announceLeaving = 2;
constexpr LPARAM announceJoining = 4;
constexpr WPARAM probeQuestion = 0x5555;

HWND windowOf(WPARAM value) { return reinterpret_cast<HWND>(value); }

}  // namespace

HubCore::HubCore(const HubOptions& options, HubRecorder& recorder)
    : options_(options),
      recorder_(recorder),
      devices_(DeviceFiles(options.configDirectory)),
      cache_(options.cacheOn),
      names_(devices_.files()),
      fanout_(options.clientTimeoutMs, recorder) {}

void HubCore::attach(HWND window) {
    window_ = window;
    fanout_.attach(GetCurrentThreadId());
    backing_.attach(window, options_.clientTimeoutMs);
    int highest = options_.highestDevice;
    if (highest <= 0) {
        highest = wireToInt(devices_.files().readHub("Hub")["HighestDevice"]);
        if (highest <= 0) highest = 999;
    }
    const int found = devices_.load(highest);
    log(formatText("%d devices read, looked for up to %s", found, devices_.files().devicePath(highest).c_str()));
    federation_ = makeFederation(options_, *this, window);
}

void HubCore::log(const std::string& line) const {
    if (options_.log) options_.log(line);
}

bool HubCore::handleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 1;
    switch (message) {
    case requestHub:
        if (options_.answer2031) answerDiscovery(windowOf(wParam));
        return true;
    case requestHubAgain:
        if (options_.answer49153) answerDiscovery(windowOf(wParam));
        return true;
    case probe: result = wParam == probeQuestion ? options_.probeAnswer : 0; return true;
    case announceWm:
    case announceZel:
        clients_.heardFrom(windowOf(wParam));
        if (lParam == announceJoining) {
            clients_.announce(windowOf(wParam), message == announceZel ? Transport::zel : Transport::wm);
        } else if (lParam == announceLeaving && message == announceWm) {
            clientLeaves(message, windowOf(wParam));
        }
        return true;
    case registerClient:
        clients_.add(windowOf(wParam));
        clients_.heardFrom(windowOf(wParam));
        return true;
    case deregisterClient: clientLeaves(message, windowOf(wParam)); return true;
    case limitDevices: result = options_.maxDevices; return true;
    case limitIndexes: result = options_.maxIndexes; return true;
    case limitSources: result = options_.maxSources; return true;
    case limitDatabases: result = options_.maxDatabases; return true;
    case limitString: result = options_.maxString; return true;
    case limitDatabaseIndex: result = options_.maxDatabaseIndex; return true;
    case releaseHeldCommands: result = releaseHeld(true); return true;
    case deregisterDevice:
        clients_.heardFrom(windowOf(wParam));
        clients_.deregisterDevice(windowOf(wParam), static_cast<int>(lParam));
        return true;
    case registrationExtent: {
        const auto [lowest, highest] = clients_.extent(static_cast<int>(wParam));
        result = static_cast<LRESULT>(MAKELONG(lowest, highest)) & 0xFFFFFFFF;
        return true;
    }
    case cacheSwitch: cache_.enable(wParam != 0); return true;
    case cacheFlushDevice: cache_.flush(static_cast<int>(wParam)); return true;
    case cacheIsOn: result = cache_.enabled() ? 1 : 0; return true;
    case cacheTestShort:
        result = cache_.covers(static_cast<int>(wParam), LOWORD(lParam), HIWORD(lParam)) ? 1 : 0;
        return true;
    case nameCacheFlush: names_.flush(static_cast<int>(wParam)); return true;
    case subscribeNet:
    case unsubscribeNet:
        clients_.heardFrom(windowOf(wParam));
        clients_.subscribe(windowOf(wParam), message == subscribeNet);
        return true;
    default: return false;
    }
}

void HubCore::answerDiscovery(HWND client) {
    if (client == nullptr) return;
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(client, hubAnswer, reinterpret_cast<WPARAM>(window_), 0, SMTO_NORMAL,
                        options_.clientTimeoutMs, &ignored);
}

void HubCore::clientLeaves(UINT message, HWND client) {
    MSG queued;
    const bool closeQueued = PeekMessageA(&queued, window_, WM_CLOSE, WM_CLOSE, PM_NOREMOVE) != FALSE;
    recorder_.leave(message, client, closeQueued);
    clients_.forget(client);
    fanout_.retire(client);
}

void HubCore::tick() {
    if (federation_) federation_->pump();
    releaseHeld(false);
    const bool handedOver = flushOutbox();
    takeMissed();
    fanout_.reap();
    // What a tick changes wakes the threads in waitFor; deliveries handed to
    // the senders wake them once they are sent, not before they arrive. The
    // facility link changes what they may wait for (a device online) at any
    // tick.
    if (!handedOver || federation_) recorder_.notify();
}

DWORD HubCore::msUntilWork() const {
    if (!outbox_.empty() || spy_.pending()) return 0;
    const DWORD federation = federation_ ? federation_->msUntilWork() : INFINITE;
    if (held_.empty()) return federation;
    const LONG left = static_cast<LONG>(held_.front().due - GetTickCount());
    const DWORD held = left > 0 ? static_cast<DWORD>(left) : 0;
    return held < federation ? held : federation;
}

int HubCore::releaseHeld(bool all) {
    int released = 0;
    while (!held_.empty() && (all || static_cast<LONG>(held_.front().due - GetTickCount()) <= 0)) {
        const HeldCommand next = std::move(held_.front());
        held_.pop_front();
        apply(next.command, next.requester);
        ++released;
    }
    return released;
}

void HubCore::sendText(const ClientAddress& to, UINT code, const std::string& text) {
    Delivery delivery;
    delivery.to = to;
    delivery.code = code;
    delivery.bytes = text;
    queue(std::move(delivery));
}

void HubCore::queue(Delivery delivery) {
    delivery.heard = clients_.heard(delivery.to.window);
    delivery.madeWhileStalled = clients_.stalled(delivery.to.window);
    outbox_.add(std::move(delivery));
}

void HubCore::missed(HWND client, const char* what) {
    if (!IsWindow(client)) {
        clients_.forget(client);
        fanout_.retire(client);
        return;
    }
    log(formatText("client %p did not take %s within %lu ms; skipped until it talks to the hub again",
                   static_cast<void*>(client), what, static_cast<unsigned long>(options_.clientTimeoutMs)));
    clients_.markStalled(client);
    // Its sender drops what it still holds and ends; a new one starts when
    // the client talks again and is sent something.
    fanout_.dropThrough(client, clients_.heard(client));
    fanout_.retire(client);
}

void HubCore::takeMissed() {
    for (const MissedDelivery& miss : fanout_.takeMissed()) {
        // A client that talked to the hub since the delivery was made is not
        // skipped: its sender has dropped only what was made before.
        if (clients_.heard(miss.window) > miss.heard) continue;
        missed(miss.window, "a delivery");
    }
}

// Each client's deliveries go to its own sender, so none waits for another
// client. What was made for a client while it was stalled, or is for one
// stalled now, is dropped: a client that talks again gets what happens from
// then on.
bool HubCore::flushOutbox() {
    if (flushing_ || window_ == nullptr) return false;
    flushing_ = true;
    bool handedOver = false;
    while (!outbox_.empty() && !stopRequested_) {
        Delivery delivery = outbox_.take();
        spy_.delivery(delivery);
        if (delivery.madeWhileStalled || clients_.stalled(delivery.to.window)) continue;
        fanout_.send(std::move(delivery));
        handedOver = true;
    }
    spy_.flush(window_);
    flushing_ = false;
    return handedOver;
}

void HubCore::announceDeviceMode(int device, int index, const std::string& keyword) {
    const std::string text = formatText("%s %d %d", keyword.c_str(), index, device);
    for (const ClientAddress& client : clients_.all()) sendText(client, deviceModeText, text);
}

void HubCore::announceDisconnect() {
    for (const ClientAddress& client : clients_.all()) {
        Delivery delivery;
        delivery.to = client;
        delivery.form = Delivery::Form::plain;
        delivery.code = hubDisconnects;
        queue(std::move(delivery));
    }
}

void HubCore::deliver(HWND client, UINT code, const std::string& text) { sendText(clients_.address(client), code, text); }

std::string HubCore::value(int device, int index) const {
    const Device* found = devices_.find(device);
    return found && found->hasIndex(index) ? found->at(index).value : std::string();
}

}  // namespace orq
