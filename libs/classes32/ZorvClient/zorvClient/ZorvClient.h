// ZorvClient: the client class that applications use. It owns one native
// client (qxClient) and the bridge that turns the native client's callbacks
// into events, and offers the native operations with Unicode text.
//
//   using namespace ZorvClientLibrary;
//   ZorvClient client;                          // on the thread that pumps its messages
//   client.RouterRevertiveEvent += [](uint device, uint dest, int source) { ... };
//   if (!client.connect(IpcType::wm)) {         // false: connected
//       client.revertiveRegister(3, 1, 16);
//       client.routerCrosspoint(3, 10, 7);
//   }
//   ... dispatch window messages: the events arrive from the message loop ...
//   client.Dispose();                           // or let the object go
//
// Every operation is one call of the native operation of the same name, with
// the defaults shown here, each uint passed bit for bit as the native int,
// and the native result returned unchanged: connect, disconnect,
// getClientRegistrationExtent, cacheValue, databaseName and databaseModify
// report success with false. The client checks nothing itself; the native
// checks decide, and a refused argument is traced, not raised.
//
// Errors it raises itself, each derived from a standard exception:
// - a null String argument: ArgumentNullError (std::invalid_argument), before
//   the native client is called;
// - text that does not convert: ArgumentError (std::invalid_argument); a text
//   of more than INT_MAX units or bytes: ArgumentOutOfRangeError
//   (std::out_of_range);
// - any operation after Dispose: ObjectDisposedError (std::logic_error). A
//   second Dispose does nothing. Subscribing and unsubscribing still work and
//   change only the lists; no event comes any more.
//
// Text goes to the native client in the calling thread's ANSI code page
// without best-fit mapping (a character the code page lacks becomes its
// default character, usually '?'); where that code page is UTF-8, which
// takes no best-fit flag, every character converts. Event texts are read in
// the system's ANSI code page, up to their first zero byte.
//
// Events: add_<Event>/remove_<Event> (or += and -= on the event) subscribe
// and unsubscribe a handler from any thread; remove takes away the last
// occurrence of an equal handler (see Delegate). Handlers run on the thread
// that constructed the client, while it dispatches window messages, or inside
// connect and disconnect. A change of the subscriptions made during a raise
// counts from the next raise on.
//
// An exception that leaves a handler ends that raise (the later handlers are
// not called), is traced with one line through OutputDebugStringA and goes no
// further: the native client's dispatch carries on. A handler must not
// dispose its own client: Dispose refuses with std::logic_error there (and
// destroying the object there ends the program), because the native client
// is still running below the handler.
//
// revertiveDeregister(device, index) removes the registration of that one
// index; an index of 0 stands for the whole device, as in the native client.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "ZorvDelegate.h"
#include "ZorvErrors.h"
#include "ZorvEvent.h"
#include "ZorvString.h"

class qxClient;
class IqxClientCallback;
namespace qx {
enum redundancyState : int;
}

namespace ZorvClientLibrary {

using uint = std::uint32_t;

/// The transport to the hub: none, window messages (`wm`) or the interface
/// library (`zel`).
enum class IpcType : std::int32_t { none = 0, wm = 1, zel = 2 };
/// A device's redundancy mode; other numbers the hub sends pass on unchanged.
enum class RedundancyState : std::int32_t { unknown = 0, rx = 1, tx = 2, broken = 5, forceTx = 3 };
/// The kind of poll a registration names (accepted, not sent).
enum class PollType : std::int32_t { UnknownType = 0, IP = 1, RP = 2, GP = 3 };

class unmanagedCallbacks;

/// The client class that applications use: the native client's operations
/// with Unicode text, and its callbacks as ten events. Errors, threads,
/// disposal and handler rules are described at the head of ZorvClient.h.
class ZorvClient {
public:
    /// @name Handler types of the events
    /// @{

    using VoidDelegate = Delegate<void()>;  ///< ConnectedEvent, DisconnectedEvent.
    using InfoRevertiveDelegate = Delegate<void(uint device, uint index, String value)>;  ///< InfoRevertiveEvent.
    using RouterRevertiveDelegate = Delegate<void(uint device, uint index, int info)>;  ///< RouterRevertiveEvent.
    using GPIRevertiveDelegate = Delegate<void(uint device, uint index, bool state)>;  ///< GPIRevertiveEvent.
    using DatabaseChangeDelegate = Delegate<void(uint device, uint index, int database)>;  ///< DatabaseChangeEvent.
    using DeviceModeDelegate = Delegate<void(uint device, uint index, RedundancyState state)>;  ///< DeviceModeEvent.
    /// DeviceMessageEvent.
    using DeviceMessageDelegate = Delegate<void(int workstation, uint device, String message, int reference)>;
    using PollErrorDelegate = Delegate<void(uint device, uint slot)>;  ///< PollErrorEvent.
    using ConfigChangeMessageDelegate = Delegate<void(String message)>;  ///< ConfigChangeMessageEvent.
    /// @}

    /// @name Receivers that take the native forms of their arguments
    /// @{

    using InfoRevertiveDelegateUnmanaged = Delegate<void(uint device, uint slot, const char* value)>;  ///< Info.
    /// Device mode.
    using DeviceModeDelegateUnmanaged = Delegate<void(uint device, uint index, qx::redundancyState state)>;
    /// Device message.
    using DeviceMessageDelegateUnmanaged =
        Delegate<void(int workstation, uint device, const char* message, int reference)>;
    using ConfigChangeMessageDelegateUnmanaged = Delegate<void(const char* message)>;  ///< Configuration change.
    /// @}

    /// Creates the native client and its message window on this thread.
    ZorvClient();
    /// Disposes the client when Dispose was not called.
    ~ZorvClient();
    ZorvClient(const ZorvClient&) = delete;
    ZorvClient& operator=(const ZorvClient&) = delete;

    /// Destroys the native client (a connected one disconnects and raises
    /// DisconnectedEvent), then the bridge and the receivers.
    void Dispose();

    /// @name Connection and settings
    /// Each calls qxClient's operation of the same name (see qxClient.h).
    /// @{

    bool connect(IpcType ipc = IpcType::zel, int ipcOptions = 0);  ///< False: connected.
    bool isConnected();                             ///< True while the hub's window exists.
    bool disconnect();                              ///< False: it was connected.
    void writeEnable(bool enable);                  ///< Gates the commands that change state.
    bool isWriteEnabled();                          ///< See writeEnable.
    void setCloseHostOnExit(bool close = false);    ///< Whether disposal closes the hub.
    bool counters(uint& tx, uint& rx);              ///< True when either changed since the last call.
    void resetCounters();                           ///< Both counters to 0.
    void sendBufferCommands();                      ///< Releases the commands the hub holds.
    uint maxDevices();                              ///< Highest device number the hub allows.
    uint maxSources();                              ///< Highest source number.
    uint maxIndexes();                              ///< Highest index or slot.
    uint maxDatabases();                            ///< Number of databases.
    uint maxString();                               ///< Longest text, in bytes.
    /// @}

    /// @name Revertive registration
    /// @{

    /// Registers start..end of the device for its revertives.
    void revertiveRegister(uint device, uint start, uint end, bool overwrite = true, PollType pollType = PollType::IP);
    void revertiveDeregister(uint device, uint start, uint end);  ///< Deregisters start..end.
    void revertiveDeregister(uint device, uint index);            ///< Deregisters one index (0: the device).
    void revertiveDeregister(uint device);                        ///< Deregisters the whole device.
    void revertiveDeregisterAll();                                ///< Deregisters everything.
    /// The lowest and highest registered index; false when both are known.
    bool getClientRegistrationExtent(uint device, uint& min, uint& max);
    /// @}

    /// @name Router, infodriver and GPI commands
    /// `now` asks the hub to act at once instead of holding the command.
    /// @{

    /// Switches destination `dest` of router `device` to `source`.
    void routerCrosspoint(uint device, uint dest, int source, const String& mask, bool now = false);
    void routerCrosspoint(uint device, uint dest, int source);  ///< With mask ",---", not now.
    void routerPoll(uint device, uint start, uint end, bool now = false);   ///< Revertives to every registered client.
    void routerQuery(uint device, uint start, uint end, bool now = false);  ///< Revertives to this client.
    void routerLock(uint device, uint start, uint end, bool lock, bool now = false);  ///< Locks or unlocks.
    void routerFile(uint device);                                            ///< The hub re-reads the device.
    void infoWrite(uint device, uint index, const String& value, bool now = false);  ///< Writes a slot.
    void infoPoll(uint device, uint start, uint end, bool now = false);   ///< Revertives to every registered client.
    void infoQuery(uint device, uint start, uint end, bool now = false);  ///< Revertives to this client.
    void infoLock(uint device, uint start, uint end, bool lock, bool now = false);  ///< Locks or unlocks.
    void gpiSwitch(uint device, uint index, bool state, bool now = false);  ///< Switches a GPI on or off.
    void gpiFile(uint device);                                              ///< The hub re-reads the device.
    void gpiLock(uint device, uint start, uint end, bool lock, bool now = false);  ///< Locks or unlocks.
    void gpiPoll(uint device, uint start, uint end, bool now = false);   ///< Revertives to every registered client.
    void gpiQuery(uint device, uint start, uint end, bool now = false);  ///< Revertives to this client.
    /// Sends a message to the subscribed clients of `workstation` (0: all).
    void deviceMessage(int workstation, uint device, const String& message, int reference);
    /// The device's profile; every output 0 when the hub does not know it.
    void deviceProfile(uint device, int& version, uint& sources, uint& dests);
    /// The same with the device's name (empty when the hub names none).
    void deviceProfile(uint device, int& version, uint& sources, uint& dests, String& name);
    /// @}

    /// @name The hub's value cache and device databases
    /// cacheValue and databaseName assign their output also when they report
    /// failure.
    /// @{

    void cacheEnable(bool state);   ///< Switches the hub's cache on or off.
    void cacheFlush(uint device);   ///< Empties the cache of one device.
    uint cacheIndex(uint device, uint start, uint end, const String& value);  ///< Index holding the value; 0: none.
    bool cacheTest(uint device, uint start, uint end);                        ///< True when the range is cached.
    bool cacheValue(uint device, uint index, String& value);  ///< False: read; true: "- - -".
    bool databaseName(uint device, uint index, uint database, String& name);  ///< False: read.
    int databaseIndex(uint device, uint database, const String& name);        ///< Index of the name; 0: none.
    /// Renames an entry; false when sent.
    bool databaseModify(uint device, uint index, uint database, const String& name, bool tallyDump = false,
                        bool includeHandle = false);
    void flushDatabaseCache(uint device = 0);  ///< Drops cached names (device 0: all).
    /// @}

    /// @name Network and configuration-change messages
    /// @{

    void registerForNetMessage();    ///< Subscribes to device messages.
    void deregisterForNetMessage();  ///< Ends the subscription.
    void sendConfigChangeMessage(const String& msg);  ///< To every subscribed client.
    /// @}

    /// @name Subscribing to the events
    /// add_ subscribes a handler; remove_ takes away its last occurrence.
    /// @{

    /// Subscribes a handler to ConnectedEvent.
    void add_ConnectedEvent(const VoidDelegate& handler) { ConnectedEvent += handler; }
    /// Unsubscribes the last equal handler from ConnectedEvent.
    void remove_ConnectedEvent(const VoidDelegate& handler) { ConnectedEvent -= handler; }
    /// Subscribes a handler to DisconnectedEvent.
    void add_DisconnectedEvent(const VoidDelegate& handler) { DisconnectedEvent += handler; }
    /// Unsubscribes the last equal handler from DisconnectedEvent.
    void remove_DisconnectedEvent(const VoidDelegate& handler) { DisconnectedEvent -= handler; }
    /// Subscribes a handler to InfoRevertiveEvent.
    void add_InfoRevertiveEvent(const InfoRevertiveDelegate& handler) { InfoRevertiveEvent += handler; }
    /// Unsubscribes the last equal handler from InfoRevertiveEvent.
    void remove_InfoRevertiveEvent(const InfoRevertiveDelegate& handler) { InfoRevertiveEvent -= handler; }
    /// Subscribes a handler to RouterRevertiveEvent.
    void add_RouterRevertiveEvent(const RouterRevertiveDelegate& handler) { RouterRevertiveEvent += handler; }
    /// Unsubscribes the last equal handler from RouterRevertiveEvent.
    void remove_RouterRevertiveEvent(const RouterRevertiveDelegate& handler) { RouterRevertiveEvent -= handler; }
    /// Subscribes a handler to GPIRevertiveEvent.
    void add_GPIRevertiveEvent(const GPIRevertiveDelegate& handler) { GPIRevertiveEvent += handler; }
    /// Unsubscribes the last equal handler from GPIRevertiveEvent.
    void remove_GPIRevertiveEvent(const GPIRevertiveDelegate& handler) { GPIRevertiveEvent -= handler; }
    /// Subscribes a handler to DatabaseChangeEvent.
    void add_DatabaseChangeEvent(const DatabaseChangeDelegate& handler) { DatabaseChangeEvent += handler; }
    /// Unsubscribes the last equal handler from DatabaseChangeEvent.
    void remove_DatabaseChangeEvent(const DatabaseChangeDelegate& handler) { DatabaseChangeEvent -= handler; }
    /// Subscribes a handler to DeviceModeEvent.
    void add_DeviceModeEvent(const DeviceModeDelegate& handler) { DeviceModeEvent += handler; }
    /// Unsubscribes the last equal handler from DeviceModeEvent.
    void remove_DeviceModeEvent(const DeviceModeDelegate& handler) { DeviceModeEvent -= handler; }
    /// Subscribes a handler to DeviceMessageEvent.
    void add_DeviceMessageEvent(const DeviceMessageDelegate& handler) { DeviceMessageEvent += handler; }
    /// Unsubscribes the last equal handler from DeviceMessageEvent.
    void remove_DeviceMessageEvent(const DeviceMessageDelegate& handler) { DeviceMessageEvent -= handler; }
    /// Subscribes a handler to PollErrorEvent.
    void add_PollErrorEvent(const PollErrorDelegate& handler) { PollErrorEvent += handler; }
    /// Unsubscribes the last equal handler from PollErrorEvent.
    void remove_PollErrorEvent(const PollErrorDelegate& handler) { PollErrorEvent -= handler; }
    /// Subscribes a handler to ConfigChangeMessageEvent.
    void add_ConfigChangeMessageEvent(const ConfigChangeMessageDelegate& handler) { ConfigChangeMessageEvent += handler; }
    /// Unsubscribes the last equal handler from ConfigChangeMessageEvent.
    void remove_ConfigChangeMessageEvent(const ConfigChangeMessageDelegate& handler) {
        ConfigChangeMessageEvent -= handler;
    }
    /// @}

private:
    std::mutex lock_;  // the object's lock: held while a subscription list is replaced

public:
    /// @name Events
    /// The subscription lists; += and -= subscribe and unsubscribe.
    /// @{

    Event<void()> ConnectedEvent{lock_};     ///< The client connected to the hub.
    Event<void()> DisconnectedEvent{lock_};  ///< The client left the hub, or the hub went away.
    Event<void(uint, uint, String)> InfoRevertiveEvent{lock_};    ///< device, slot, value.
    Event<void(uint, uint, int)> RouterRevertiveEvent{lock_};     ///< device, destination, source.
    Event<void(uint, uint, bool)> GPIRevertiveEvent{lock_};       ///< device, index, state.
    Event<void(uint, uint, int)> DatabaseChangeEvent{lock_};      ///< device, index, database.
    Event<void(uint, uint, RedundancyState)> DeviceModeEvent{lock_};  ///< device, index, mode.
    Event<void(int, uint, String, int)> DeviceMessageEvent{lock_};    ///< workstation, device, message, reference.
    Event<void(uint, uint)> PollErrorEvent{lock_};                ///< device, slot (not raised by the client).
    Event<void(String)> ConfigChangeMessageEvent{lock_};          ///< the message.
    /// @}

protected:
    /// @name Raising the events
    /// Raise an event on its current subscribers, for derived classes. An
    /// exception from a handler leaves these.
    /// @{

    void raise_ConnectedEvent() { ConnectedEvent.raise(); }  ///< Raises ConnectedEvent.
    void raise_DisconnectedEvent() { DisconnectedEvent.raise(); }  ///< Raises DisconnectedEvent.
    /// Raises InfoRevertiveEvent.
    void raise_InfoRevertiveEvent(uint device, uint index, const String& value) {
        InfoRevertiveEvent.raise(device, index, value);
    }
    /// Raises RouterRevertiveEvent.
    void raise_RouterRevertiveEvent(uint device, uint index, int info) { RouterRevertiveEvent.raise(device, index, info); }
    /// Raises GPIRevertiveEvent.
    void raise_GPIRevertiveEvent(uint device, uint index, bool state) { GPIRevertiveEvent.raise(device, index, state); }
    /// Raises DatabaseChangeEvent.
    void raise_DatabaseChangeEvent(uint device, uint index, int database) {
        DatabaseChangeEvent.raise(device, index, database);
    }
    /// Raises DeviceModeEvent.
    void raise_DeviceModeEvent(uint device, uint index, RedundancyState state) {
        DeviceModeEvent.raise(device, index, state);
    }
    /// Raises DeviceMessageEvent.
    void raise_DeviceMessageEvent(int workstation, uint device, const String& message, int reference) {
        DeviceMessageEvent.raise(workstation, device, message, reference);
    }
    /// Raises PollErrorEvent.
    void raise_PollErrorEvent(uint device, uint slot) { PollErrorEvent.raise(device, slot); }
    /// Raises ConfigChangeMessageEvent.
    void raise_ConfigChangeMessageEvent(const String& message) { ConfigChangeMessageEvent.raise(message); }
    /// @}

private:
    friend class ZorvClientProbe;  // tests and benchmarks play the native client through the bridge

    // Receivers: reached from the bridge, they convert the native arguments
    // and raise the event.
    void ConnectedReceived();
    void DisconnectedReceived();
    void InfoRevertiveReceived(uint device, uint slot, const char* value);
    void RouterRevertiveReceived(uint device, uint dest, int source);
    void GPIRevertiveReceived(uint device, uint index, bool state);
    void DatabaseChangeReceived(uint device, uint index, int database);
    void DeviceModeReceived(uint device, uint index, qx::redundancyState state);
    void DeviceMessageReceived(int workstation, uint device, const char* message, int reference);
    void PollErrorReceived(uint device, uint slot);
    void ConfigChangeMessageReceived(const char* message);

    // Runs a receiver's raise; contains what leaves it (see above).
    template <typename Raise>
    void receive(const char* event, Raise&& raise) noexcept;

    qxClient& native();

    std::unique_ptr<qxClient> c;
    std::unique_ptr<unmanagedCallbacks> u;
    // Handles: each keeps one receiver alive while the bridge may call it.
    std::unique_ptr<InfoRevertiveDelegateUnmanaged> irgh;
    std::unique_ptr<VoidDelegate> cgh;
    std::unique_ptr<VoidDelegate> dgh;
    std::unique_ptr<RouterRevertiveDelegate> rrgh;
    std::unique_ptr<GPIRevertiveDelegate> gpigh;
    std::unique_ptr<DatabaseChangeDelegate> dbgh;
    std::unique_ptr<DeviceModeDelegateUnmanaged> dmgh;
    std::unique_ptr<DeviceMessageDelegateUnmanaged> dmsggh;
    std::unique_ptr<PollErrorDelegate> pegh;
    std::unique_ptr<ConfigChangeMessageDelegateUnmanaged> ccmgh;

    bool disposed_ = false;
    int receiving_ = 0;  // receivers running now (they may nest)
};

}  // namespace ZorvClientLibrary
