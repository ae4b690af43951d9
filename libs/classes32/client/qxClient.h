// qxClient: the native client of the hub process Orq.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>
#include <string>

#include "IqxClientCallback.h"
#include "qxCheck.h"
#include "qxTypes.h"
#include "trafficCounters.h"
#include "zorvwm32.h"

class decodeZORVString;

extern const char qxClientSignature[];

/// The native client of the hub process Orq. It owns a hidden message-only
/// window through which every exchange with the hub passes, and must be used
/// on the thread that created it, which pumps its window messages: replies
/// arrive while a send waits, revertives are delivered to the callback from
/// the message loop.
///
/// Operations check their arguments first (qxCheck); a failed check writes
/// one trace line with OutputDebugStringA and the operation sends nothing.
/// Numbers are signed 32-bit; devices, indexes and slots count from 1,
/// databases from 0. A `workstation` argument of 0 means this client's own.
/// Commands with `now` ask the hub to act at once; the others may be held by
/// the hub until sendBufferedCommands().
class qxClient : public qxCheck {
public:
    /// Creates the message window (a message box reports a failure). The
    /// callback may be null; it receives every event until destruction.
    qxClient(IqxClientCallback* callback, const std::string& name);
    /// Posts WM_CLOSE to the hub when setCloseHostOnExit(true) was called,
    /// disconnects (IqxClientCallback::disconnected) and destroys the window.
    /// May be called from inside one of the client's own callbacks.
    ~qxClient() override;
    qxClient(const qxClient&) = delete;
    qxClient& operator=(const qxClient&) = delete;

    /// @name Connection
    /// @{

    /// Finds the hub (halvik.dll, else two broadcasts), announces this client
    /// over the given transport, calls `connected`, registers the client and
    /// loads the hub's limits. Returns false on success, true when no hub
    /// answered. `ipcOptions` is kept and not used.
    bool connect(qx::ipcType ipc, int ipcOptions);
    /// Tells the hub this client leaves and calls `disconnected`. Returns
    /// false when it was connected, true otherwise.
    bool disconnect();
    /// True while the hub's window exists.
    bool isConnected();
    /// @}

    /// @name Settings and counters
    /// @{

    /// While writes are disabled, commands that change device state (and
    /// databaseModify) return at once without sending or tracing.
    void writeEnable(bool enable) { writeEnabled = enable; }
    bool isWriteEnabled() const { return writeEnabled; }  ///< See writeEnable.
    /// Whether destroying the client also closes the hub (posts WM_CLOSE).
    void setCloseHostOnExit(bool close) { closeHostOnExit = close; }
    /// Commands sent and revertives received since the last reset; true when
    /// either changed since the previous call.
    bool counters(unsigned& tx, unsigned& rx);
    void resetCounters();  ///< Both counters to 0.
    /// @}

    /// @name Limits as the hub answers them now
    /// The defaults stand where the hub answers 0: no limit (2147483647) for
    /// devices, sources and indexes, 10 databases, 256 bytes of text.
    /// @{
    unsigned maxDevices();    ///< Highest device number (49245).
    unsigned maxSources();    ///< Highest source number (49234).
    unsigned maxIndexes();    ///< Highest index or slot (49233).
    unsigned maxDatabases();  ///< Number of databases (49243).
    unsigned maxString();     ///< Longest text, in bytes (49246).
    /// @}

    /// @name Commands
    /// Each sends one text command; the hub's revertives report the result.
    /// @{

    /// Switches destination `dest` of router `device` to `source` ("RC").
    void routerCrosspoint(int device, int dest, int source, const std::string& mask, bool now, int workstation);
    /// Writes `value` into slot `index` of infodriver `device` ("IW").
    void infoWrite(int device, int index, const std::string& value, bool now, int workstation);
    /// Switches GPI output `index` of `device` on or off ("GS").
    void gpiSwitch(int device, int index, bool state, bool now, int workstation);
    /// Locks (`lock` true) or unlocks the indexes start..end against changes
    /// from other workstations ("RL", "IL", "GL").
    void routerLock(int device, int start, int end, bool lock, bool now, int workstation);
    void infoLock(int device, int start, int end, bool lock, bool now, int workstation);  ///< The same for slots.
    void gpiLock(int device, int start, int end, bool lock, bool now, int workstation);  ///< The same for GPIs.
    /// Asks for the revertives of start..end to go to every registered
    /// client ("RP", "IP", "GP"); not gated by writeEnable.
    void routerPoll(int device, int start, int end, bool now);
    void infoPoll(int device, int start, int end, bool now);  ///< The same for slots.
    void gpiPoll(int device, int start, int end, bool now);   ///< The same for GPIs.
    /// Asks for the revertives of start..end to come to this client only
    /// ("RQ", "IQ", "GQ"); not gated by writeEnable.
    void routerQuery(int device, int start, int end, bool now);
    void infoQuery(int device, int start, int end, bool now);  ///< The same for slots.
    void gpiQuery(int device, int start, int end, bool now);   ///< The same for GPIs.
    /// Asks the hub to re-read the device's definition file ("RF", "GF").
    void routerFile(int device);
    void gpiFile(int device);  ///< The same for a GPI unit.
    /// Sends `message` to the clients of `workstation` (0: every
    /// workstation) that subscribed with registerForNetMessage ("NS").
    void deviceMessage(int workstation, int device, const std::string& message, int reference);
    /// Reads the device's profile from the hub; every output stays 0 (and
    /// `text` unchanged) when the hub does not know the device.
    void deviceProfile(int device, int& version, int& sources, int& dests, std::string& text);
    /// Releases the commands the hub holds; returns the hub's answer.
    int sendBufferedCommands();
    /// @}

    /// @name Revertive registration
    /// The hub sends revertives only for registered ranges.
    /// @{

    /// Registers start..end of `device`; `overwrite` replaces an earlier
    /// registration of the device. `pollType` is accepted and not sent.
    void revertiveRegister(int device, int start, int end, bool overwrite, int pollType);
    /// Deregisters start..end; a start or end of 0 deregisters the device.
    void revertiveDeregister(int device, int start, int end);
    void revertiveDeregisterAll();  ///< Deregisters every range of every device.
    /// The lowest and highest index registered on the device; returns false
    /// when both are known (not 0), true otherwise.
    bool getClientRegistrationExtent(int device, int& min, int& max);
    /// @}

    /// @name The hub's value cache
    /// @{
    void cacheEnable(bool state);  ///< Switches the hub's cache on or off.
    void cacheFlush(int device);   ///< Empties the cache of one device.
    /// The index within start..end holding `value`; 0 when the cache is off
    /// or the request was not made.
    int cacheIndex(int device, int start, int end, const std::string& value);
    /// True when the hub caches the whole range.
    bool cacheTest(int device, int start, int end);
    /// Reads one cached value; returns false when a value was read, true
    /// with "- - -" when the hub holds none. The hub's reply code is stored
    /// through `result` when given.
    bool cacheValue(int device, int index, std::string& value, int* result = nullptr);
    /// @}

    /// @name Device databases
    /// @{

    /// Reads a name; false when read, true ("- - -" in the short form) when
    /// the hub holds none or a check failed.
    bool databaseName(int device, int index, int database, std::string& nameOut);
    /// The index holding `wantedName`; 0 when none or not asked.
    int databaseIndex(int device, int database, const std::string& wantedName);
    /// Renames an entry ("RM"); every client registered for the device is
    /// told with IqxClientCallback::databaseChange. Returns false when sent.
    bool databaseModify(int device, int index, int database, const std::string& newName, bool tallyDump,
                        bool includeHandle, int workstation);
    /// Drops the hub's cached names of a device (0: of every device).
    void flushDatabaseCache(int device);
    /// @}

    /// @name Network and configuration-change messages
    /// @{

    /// Subscribes to device messages (deviceMessage) from any client.
    void registerForNetMessage();
    void deregisterForNetMessage();  ///< Ends the subscription.
    /// Sends a configuration-change text to every subscribed client.
    void sendConfigChangeMessage(const std::string& message);
    /// @}

    /// Sends a text or record to the hub by the chosen transport; returns the
    /// reply code (0 when nothing was sent). With a reply capacity, the reply
    /// is copied back over the payload in the given form (zorvwm32.h).
    LONG sendText(UINT code, LONG parameter, void* payload, DWORD payloadLength, DWORD replyCapacity, int kind,
                  zorvwm32::ReplyForm form = zorvwm32::ReplyForm::text);

    HWND getMessageWindow() const { return messageWindow; }  ///< The client's hidden window.
    HWND getHubWindow() const { return hubWindow; }          ///< The hub's window; null when not connected.
    /// This workstation's number, read at construction.
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
    zorvwm32::TrafficCounters traffic;
    int maxDatabaseIndex = 2147483647;
    int databaseCount = 10;
    std::deque<std::string> inboundQueue;
    // False once the client is destroyed. Code that runs a callback and
    // touches the client after it holds a copy: a callback may destroy the
    // client.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};
