// What drivers and the hub send to the infodriver stand-in: slot writes and
// reads, hub writes and device messages of any text, in envelopes of any
// size, and the plain messages of attaching, leaving, redundancy and limits,
// from two attached drivers (one transmitting, one standing by), a stranger
// and the hub. The infodriver must answer or refuse each without reading or
// writing outside the block.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Infodriver.h"
#include "fuzzInput.h"
#include "fuzzWindow.h"
#include "qxplatform.h"
#include "zorvMessages.h"
#include "zorvwm32.h"

namespace {

using namespace zorvmsg;

constexpr int device = 7;
constexpr std::size_t maxSteps = 48;
constexpr UINT requestCodes[] = {slotSet, slotText, slotGet, infodriverHubWrite, generalText,
                                 deviceMessageCommand, 2999};
constexpr UINT plainMessages[] = {infodriverAnnounceWm, infodriverLeave, limitDevices, limitIndexes,
                                  limitSources, limitDatabases, limitString, slotRange, redundancyQuery,
                                  redundancySet, infodriverStatus, infodriverNotify, 2999};
constexpr DWORD sizes[] = {0, 1, 16, 100, 300, 512};

// The infodriver's window for each driver, as its answer to the announcement named it.
std::map<HWND, HWND> ports;

// Drivers and the hub: they take every envelope, stand by when asked as the
// window's class says, and the hub answers the infodriver's search.
LRESULT CALLBACK peerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case infodriverAnswer: ports[window] = reinterpret_cast<HWND>(wParam); return 0;
    case WM_COPYDATA:
        copyDataReceive(window, reinterpret_cast<HWND>(static_cast<UINT_PTR>(wParam & 0xFFFF)),
                        reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        return 1;
    case redundancyWilling:
    case redundancyOffer: return 1;
    case requestHubAgain:
        SendMessageA(reinterpret_cast<HWND>(wParam), hubAnswer, reinterpret_cast<WPARAM>(window), 0);
        return 1;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK standbyProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == redundancyStandby) return 1;
    if (message == requestHubAgain) return 0;
    return peerProcedure(window, message, wParam, lParam);
}

struct Peers {
    HWND tx = qxfuzz::createWindow("InfodriverFuzzDriver", peerProcedure);
    HWND rx = qxfuzz::createWindow("InfodriverFuzzStandby", standbyProcedure);
    HWND hub = qxfuzz::createWindow("InfodriverFuzzHub", peerProcedure, true);
    ~Peers() {
        DestroyWindow(tx);
        DestroyWindow(rx);
        DestroyWindow(hub);
        ports.clear();
    }
    HWND pick(std::uint8_t which) const {
        const HWND all[] = {tx, rx, hub, nullptr};
        return all[which % 4];
    }
};

// Drivers talk to their own window of the infodriver, the hub and strangers
// to its main window.
HWND windowFor(HWND from, const infodriver::Infodriver& stand) {
    const auto port = ports.find(from);
    return port != ports.end() ? port->second : stand.window();
}

void step(qxfuzz::FuzzInput& input, infodriver::Infodriver& stand, const Peers& peers) {
    switch (input.byte() % 5) {
    case 0:
    case 1: {  // a request in an envelope: a text in a whole block, or raw bytes of any size
        const bool text = input.byte() % 2 == 0;
        const HWND from = peers.pick(input.byte());
        const UINT code = input.pick(requestCodes);
        COPYDATASTRUCT envelope{};
        envelope.dwData = (static_cast<ULONG_PTR>(code) << 16) | input.u16();
        std::vector<unsigned char> block;
        if (text) {
            const std::string line = input.line();
            block.assign(line.begin(), line.end());
            envelope.cbData = zorvwm32::textBlockSize;
        } else {
            envelope.cbData = input.pick(sizes);
            block = input.bytes(envelope.cbData);
        }
        block.resize(envelope.cbData);
        envelope.lpData = block.empty() ? nullptr : block.data();
        SendMessageA(windowFor(from, stand), WM_COPYDATA, reinterpret_cast<WPARAM>(from),
                     reinterpret_cast<LPARAM>(&envelope));
        break;
    }
    case 2: {
        const UINT message = input.pick(plainMessages);
        const HWND from = peers.pick(input.byte());
        const WPARAM wParam = input.byte() % 2 == 0 ? reinterpret_cast<WPARAM>(from) : input.u32();
        const LPARAM lParam = input.byte() % 2 == 0 ? device : static_cast<LPARAM>(input.u32());
        SendMessageA(windowFor(from, stand), message, wParam, lParam);
        break;
    }
    case 3: {  // the hub's side, as the host's hooks drive it
        const int index = input.byte() % 12;
        const std::string text = input.line();
        if (index % 2 == 0) stand.requestWrite(index, text, 12);
        else stand.sendDeviceMessage(text);
        break;
    }
    default:
        stand.tick();
        qxplatform::pumpPending();
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qxfuzz::isolateWorkstation();
    infodriver::Infodriver::registerClasses();  // once per process; later calls find the classes
    infodriver::InfodriverOptions options;
    options.hubSearchIntervalMs = 0;
    {
        const Peers peers;
        infodriver::Infodriver stand(device, 10, {{1, "hello"}, {2, "world"}}, options);
        stand.create();
        SendMessageA(stand.window(), infodriverAnnounceWm, reinterpret_cast<WPARAM>(peers.tx), device);
        SendMessageA(stand.window(), infodriverAnnounceWm, reinterpret_cast<WPARAM>(peers.rx), device);
        qxfuzz::runSteps(data, size, maxSteps, [&](qxfuzz::FuzzInput& input) { step(input, stand, peers); });
        stand.tick();
        qxplatform::pumpPending();
    }
    qxplatform::pumpPending();
    return 0;
}
