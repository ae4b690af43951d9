// Finding the hub, the connection handshake and loading the hub's limits.
#include "qxClient.h"
#include "zorvMessages.h"
#include "zorvText.h"

namespace {


constexpr WPARAM probeQuestion = 0x5555;
constexpr WORD probeAnswer = 0xAAAA;
constexpr LPARAM announce = 4;
constexpr LPARAM leave = 2;
constexpr int noLimit = 2147483647;

using OrqHwndEntry = HWND (*)();
using namespace zorvmsg;

}  // namespace

bool qxClient::connect(qx::ipcType ipcArgument, int ipcOptionsArgument) {
    if (hubWindow != nullptr && IsWindow(hubWindow)) disconnect();
    ipc = ipcArgument;
    ipcOptions = ipcOptionsArgument;
    hubWindow = nullptr;

    findHubWithHalvik();
    if (hubWindow == nullptr) findHubWithBroadcasts();

    if (hubWindow != nullptr) {
        const auto self = reinterpret_cast<WPARAM>(messageWindow);
        if (ipc == qx::wm) SendMessageA(hubWindow, announceWm, self, announce);
        else if (ipc == qx::zel) SendMessageA(hubWindow, announceZel, self, announce);
    }
    if (hubWindow == nullptr) {
        maxDatabaseIndex = noLimit;
        databaseCount = 10;
        return true;
    }
    if (callback != nullptr) {
        const std::shared_ptr<bool> clientAlive = alive;
        callback->connected();
        if (!*clientAlive) return false;
    }
    SendMessageA(hubWindow, registerClient, reinterpret_cast<WPARAM>(messageWindow), 0);
    loadLimits();
    return false;
}

void qxClient::findHubWithHalvik() {
    HMODULE halvik = LoadLibraryA("halvik.dll");
    if (halvik == nullptr) return;
    auto orqHwnd = reinterpret_cast<OrqHwndEntry>(GetProcAddress(halvik, "orqHwnd"));
    if (orqHwnd != nullptr) hubWindow = orqHwnd();
    if (hubWindow != nullptr) {
        const LRESULT answer = SendMessageA(hubWindow, probe, probeQuestion, 0);
        if ((answer & 0xFFFF) == probeAnswer) OutputDebugStringA("qxClient: ORQ handle from halvik.dll");
        else hubWindow = nullptr;
    }
    FreeLibrary(halvik);
}

// A hub answers either broadcast by sending 2032 to our window while the
// broadcast is still being delivered.
void qxClient::findHubWithBroadcasts() {
    OutputDebugStringA("qxClient: REQUESTING ORQ handle from Broadcast Windows Message");
    const auto self = reinterpret_cast<WPARAM>(messageWindow);
    SendMessageA(HWND_BROADCAST, requestHub, self, 0);
    if (hubWindow == nullptr) SendMessageA(HWND_BROADCAST, requestHubAgain, self, 0);
    if (hubWindow != nullptr) OutputDebugStringA("qxClient: ORQ handle from Broadcast Windows Message");
}

void qxClient::loadLimits() {
    maxDatabaseIndex = askHub(limitDatabaseIndex, noLimit);
    databaseCount = askHub(limitDatabases, 10);
    setDeviceLimit(askHub(limitDevices, noLimit));
    setIndexLimit(askHub(limitIndexes, noLimit));
    setSourceLimit(askHub(limitSources, noLimit));
    setDatabaseLimit(askHub(limitDatabases, 10));
    setStringLimit(askHub(limitString, 256));
    OutputDebugStringA(formatText("++ number of databases is %d", databaseCount).c_str());
}

bool qxClient::disconnect() {
    if (hubWindow == nullptr || !IsWindow(hubWindow)) return true;
    const auto self = reinterpret_cast<WPARAM>(messageWindow);
    SendMessageA(hubWindow, announceWm, self, leave);
    SendMessageA(hubWindow, deregisterClient, self, 0);
    hubWindow = nullptr;
    ipc = qx::none;
    if (callback != nullptr) callback->disconnected();
    return false;
}

bool qxClient::isConnected() { return hubWindow != nullptr && IsWindow(hubWindow) != FALSE; }
