// The client object: its message window, settings, counters and limits, and
// the window procedure that routes every message the hub sends.
#include "qxClient.h"

#include <cstring>
#include <vector>

#include "qxConfig.h"
#include "zorvMessages.h"
#include "zorvText.h"
#include "ownedWindow.h"
#include "zorvwm32.h"

extern const char qxClientSignature[] =
    "ZORV_SIG,name=qxClient,type=LIB,version=1.1.0.0,date=2026-12-07,author=zorv,build=release";

namespace {


constexpr int noLimit = 2147483647;

}  // namespace

qxClient::qxClient(IqxClientCallback* callbackArgument, const std::string& nameArgument)
    : qxCheck(nameArgument), callback(callbackArgument), workstation(qxConfig::workstation()) {
    createMessageWindow();
}

void qxClient::createMessageWindow() {
    messageWindow = zorvwm32::createOwnedMessageWindow("qxClientMessageWindow", windowProcedure, this);
    if (messageWindow != nullptr) {
        OutputDebugStringA(formatText("qxclient message window %d",
                                      static_cast<int>(reinterpret_cast<INT_PTR>(messageWindow)))
                               .c_str());
    } else {
        const std::string text = formatText("Cannot create qxClientMessageWindow: %d", static_cast<int>(GetLastError()));
        MessageBoxA(nullptr, text.c_str(), "Very Serious Error!", MB_OK);
    }
}

qxClient::~qxClient() {
    *alive = false;
    if (closeHostOnExit && hubWindow != nullptr) PostMessageA(hubWindow, WM_CLOSE, 0, 0);
    if (messageWindow != nullptr) zorvwm32::destroyOwnedMessageWindow(messageWindow);  // WM_DESTROY disconnects
    inboundQueue.clear();
}

bool qxClient::counters(unsigned& tx, unsigned& rx) { return traffic.read(tx, rx); }

void qxClient::resetCounters() { traffic.reset(); }

int qxClient::askHub(UINT message, int whenNone) {
    const int answer = static_cast<int>(SendMessageA(hubWindow, message, 0, 0));
    return answer != 0 ? answer : whenNone;
}

unsigned qxClient::maxDevices() { return static_cast<unsigned>(askHub(zorvmsg::limitDevices, noLimit)); }
unsigned qxClient::maxSources() { return static_cast<unsigned>(askHub(zorvmsg::limitSources, noLimit)); }
unsigned qxClient::maxIndexes() { return static_cast<unsigned>(askHub(zorvmsg::limitIndexes, noLimit)); }
unsigned qxClient::maxDatabases() { return static_cast<unsigned>(askHub(zorvmsg::limitDatabases, 10)); }
unsigned qxClient::maxString() { return static_cast<unsigned>(askHub(zorvmsg::limitString, 256)); }

LONG qxClient::sendText(UINT code, LONG parameter, void* payload, DWORD payloadLength, DWORD replyCapacity,
                        int kind, zorvwm32::ReplyForm form) {
    switch (ipc) {
    case qx::wm:
        return copyDataSend(messageWindow, hubWindow, code, parameter, payload, payloadLength, replyCapacity, kind,
                            form);
    case qx::zel:
        return sendThroughInterfaceLibrary(code, parameter, payload, payloadLength, replyCapacity, kind, form);
    default:
        return 0;
    }
}

// The library hands the whole buffer back as the hub left it; a text reply
// is cleared behind its terminator so that it reads as over window messages.
LONG qxClient::sendThroughInterfaceLibrary(UINT code, LONG parameter, void* payload, DWORD payloadLength,
                                           DWORD replyCapacity, int kind, zorvwm32::ReplyForm form) {
    const DWORD size = payloadLength > replyCapacity ? payloadLength : replyCapacity;
    const bool textReply = replyCapacity != 0 && payload != nullptr && kind == zorvwm32::textKind &&
                           form == zorvwm32::ReplyForm::text;
    if (!textReply) return zel::send(hubWindow, code, parameter, payload, kind, static_cast<int>(size));
    const auto* bytes = static_cast<const unsigned char*>(payload);
    const std::vector<unsigned char> sent(bytes, bytes + replyCapacity);
    const LONG replyCode = zel::send(hubWindow, code, parameter, payload, kind, static_cast<int>(size));
    if (!zorvwm32::isUnansweredBlock(replyCode, sent.data(), payload, replyCapacity))
        zorvwm32::clearBehindText(payload, replyCapacity);
    return replyCode;
}

LRESULT CALLBACK qxClient::windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
        return DefWindowProcA(window, message, wParam, lParam);
    }
    auto* client = reinterpret_cast<qxClient*>(GetWindowLongPtrA(window, 0));
    // Texts and records come by pointer; a number from a numeric envelope is
    // never read as one.
    const bool pointerless = lParam == 0 || transportDeliversNumber(window, message, lParam);
    const auto* text = pointerless ? nullptr : reinterpret_cast<const char*>(lParam);
    switch (message) {
    case WM_DESTROY:
        if (client != nullptr) client->disconnect();
        break;
    case WM_COPYDATA:
        copyDataReceive(window, reinterpret_cast<HWND>(static_cast<UINT_PTR>(wParam & 0xFFFF)),
                        reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        return 1;
    case zorvmsg::hubAnswer:
        if (client != nullptr) client->hubWindow = reinterpret_cast<HWND>(wParam);
        break;
    case zorvwm32::zelMessage:
        return zel::receive(window, wParam, lParam);
    case zorvmsg::generalText:
    case zorvmsg::routerText:
    case zorvmsg::gpiText:
    case zorvmsg::infodriverText:
        if (client != nullptr && text != nullptr) client->queueText(text);
        return 1;
    case zorvmsg::databaseChangeShort:
        if (client == nullptr) return 1;
        if (client->queueDatabaseChange(static_cast<unsigned>(wParam), static_cast<unsigned>(lParam & 0xFFFF),
                                        static_cast<unsigned>((lParam >> 16) & 0xFFFF), false))
            return 1;
        break;
    case zorvmsg::databaseChangeWide: {
        if (client == nullptr || pointerless) return 1;
        unsigned record[3];  // device, index, database
        std::memcpy(record, reinterpret_cast<const void*>(lParam), sizeof record);
        if (client->queueDatabaseChange(record[0], record[1], record[2], true)) return 1;
        break;
    }
    case zorvmsg::hubDisconnects:
        if (client != nullptr && client->callback != nullptr) client->callback->disconnected();
        break;
    case drainMessage:
        if (client != nullptr) client->drain();
        break;
    case zorvmsg::deviceModeText:
        if (text == nullptr) return 1;
        if (client != nullptr) client->handleDeviceMode(text);
        break;
    case zorvmsg::configChangeOut:
        if (text == nullptr) return 1;
        if (client != nullptr && client->callback != nullptr) client->callback->configChangeMessage(std::string(text));
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
