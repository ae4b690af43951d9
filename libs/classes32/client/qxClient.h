// qxClient: the native client of the hub process Orq. It owns a hidden
// message-only window through which every exchange with the hub passes, and
// must be used on the thread that created it, which pumps its messages.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>
#include <string>

#include "IqxClientCallback.h"
#include "qxCheck.h"
#include "qxTypes.h"
#include "zorvwm32.h"

class decodeZORVString;

extern const char qxClientSignature[];

class qxClient : public qxCheck {
public:
    qxClient(IqxClientCallback* callback, const std::string& name);
    ~qxClient() override;
    qxClient(const qxClient&) = delete;
    qxClient& operator=(const qxClient&) = delete;

    // Connection. connect and disconnect return false on success.
    bool connect(qx::ipcType ipc, int ipcOptions);
    bool disconnect();
    bool isConnected();

    // Settings and counters.
    void writeEnable(bool enable) { writeEnabled = enable; }
    bool isWriteEnabled() const { return writeEnabled; }
    void setCloseHostOnExit(bool close) { closeHostOnExit = close; }
    bool counters(unsigned& tx, unsigned& rx);
    void resetCounters();

    // Limits as the hub answers them now (defaults for an answer of 0).
    unsigned maxDevices();
    unsigned maxSources();
    unsigned maxIndexes();
    unsigned maxDatabases();
    unsigned maxString();

    // Commands.
    void routerCrosspoint(int device, int dest, int source, const std::string& mask, bool now, int workstation);
    void infoWrite(int device, int index, const std::string& value, bool now, int workstation);
    void gpiSwitch(int device, int index, bool state, bool now, int workstation);
    void routerLock(int device, int start, int end, bool lock, bool now, int workstation);
    void infoLock(int device, int start, int end, bool lock, bool now, int workstation);
    void gpiLock(int device, int start, int end, bool lock, bool now, int workstation);
    void routerPoll(int device, int start, int end, bool now);
    void infoPoll(int device, int start, int end, bool now);
    void gpiPoll(int device, int start, int end, bool now);
    void routerQuery(int device, int start, int end, bool now);
    void infoQuery(int device, int start, int end, bool now);
    void gpiQuery(int device, int start, int end, bool now);
    void routerFile(int device);
    void gpiFile(int device);
    void deviceMessage(int workstation, int device, const std::string& message, int reference);
    void deviceProfile(int device, int& version, int& sources, int& dests, std::string& text);
    int sendBufferedCommands();

    // Revertive registration.
    void revertiveRegister(int device, int start, int end, bool overwrite, int pollType);
    void revertiveDeregister(int device, int start, int end);
    void revertiveDeregisterAll();
    bool getClientRegistrationExtent(int device, int& min, int& max);

    // The hub's value cache.
    void cacheEnable(bool state);
    void cacheFlush(int device);
    int cacheIndex(int device, int start, int end, const std::string& value);
    bool cacheTest(int device, int start, int end);
    bool cacheValue(int device, int index, std::string& value, int* result = nullptr);

    // Device databases.
    bool databaseName(int device, int index, int database, std::string& nameOut);
    int databaseIndex(int device, int database, const std::string& wantedName);
    bool databaseModify(int device, int index, int database, const std::string& newName, bool tallyDump,
                        bool includeHandle, int workstation);
    void flushDatabaseCache(int device);

    // Network and configuration-change messages.
    void registerForNetMessage();
    void deregisterForNetMessage();
    void sendConfigChangeMessage(const std::string& message);

    // Sends a text or record to the hub by the chosen transport; returns the
    // reply code (0 when nothing was sent). With a reply capacity, the reply
    // is copied back over the payload in the given form (zorvwm32.h).
    LONG sendText(UINT code, LONG parameter, void* payload, DWORD payloadLength, DWORD replyCapacity, int kind,
                  zorvwm32::ReplyForm form = zorvwm32::ReplyForm::text);

    HWND getMessageWindow() const { return messageWindow; }
    HWND getHubWindow() const { return hubWindow; }
    int getWorkstation() const { return workstation; }

private:
    static constexpr UINT drainMessage = 2334;  // posted by the window to itself


    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    LONG sendThroughInterfaceLibrary(UINT code, LONG parameter, void* payload, DWORD payloadLength,
                                     DWORD replyCapacity, int kind, zorvwm32::ReplyForm form);
    void createMessageWindow();
    void findHubWithHalvik();
    void findHubWithBroadcasts();
    void loadLimits();
    int askHub(UINT message, int whenNone);

    bool commandFits(const std::string& text);
    void sendCommand(UINT code, int device, bool now, std::string text);
    void lockCommand(char letter, int device, int start, int end, bool lock, bool now, int workstation);
    void rangeCommand(char letter, char operation, int device, int start, int end, bool now);
    void fileCommand(char letter, int device);
    int workstationOrOwn(int given) const { return given != 0 ? given : workstation; }

    void queueText(std::string text);
    bool queueDatabaseChange(unsigned device, unsigned index, unsigned database, bool wide);
    void drain();
    bool handleText(const std::string& text);
    bool handleInfoRevertive(const decodeZORVString& fields);
    bool handleRouterRevertive(const decodeZORVString& fields);
    bool handleGpiRevertive(const decodeZORVString& fields, const std::string& text);
    bool handleDeviceMessage(const decodeZORVString& fields);
    bool handleDatabaseChange(const decodeZORVString& fields);
    bool databaseIndexInvalid(unsigned index);
    void handleDeviceMode(const char* text);

    IqxClientCallback* callback;
    HWND messageWindow = nullptr;
    HWND hubWindow = nullptr;
    qx::ipcType ipc = qx::none;
    int ipcOptions = 0;
    int workstation;
    bool writeEnabled = true;
    bool closeHostOnExit = false;
    unsigned txCount = 0;
    unsigned rxCount = 0;
    int lastTx = -1;
    int lastRx = -1;
    int maxDatabaseIndex = 2147483647;
    int databaseCount = 10;
    std::deque<std::string> inboundQueue;
    // False once the client is destroyed. Code that runs a callback and
    // touches the client after it holds a copy: a callback may destroy the
    // client.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};
