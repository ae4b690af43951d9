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

enum class IpcType : std::int32_t { none = 0, wm = 1, zel = 2 };
enum class RedundancyState : std::int32_t { unknown = 0, rx = 1, tx = 2, broken = 5, forceTx = 3 };
enum class PollType : std::int32_t { UnknownType = 0, IP = 1, RP = 2, GP = 3 };

class unmanagedCallbacks;

class ZorvClient {
public:
    // Handler types of the events.
    using VoidDelegate = Delegate<void()>;
    using InfoRevertiveDelegate = Delegate<void(uint device, uint index, String value)>;
    using RouterRevertiveDelegate = Delegate<void(uint device, uint index, int info)>;
    using GPIRevertiveDelegate = Delegate<void(uint device, uint index, bool state)>;
    using DatabaseChangeDelegate = Delegate<void(uint device, uint index, int database)>;
    using DeviceModeDelegate = Delegate<void(uint device, uint index, RedundancyState state)>;
    using DeviceMessageDelegate = Delegate<void(int workstation, uint device, String message, int reference)>;
    using PollErrorDelegate = Delegate<void(uint device, uint slot)>;
    using ConfigChangeMessageDelegate = Delegate<void(String message)>;
    // The receivers that take the native forms of their arguments.
    using InfoRevertiveDelegateUnmanaged = Delegate<void(uint device, uint slot, const char* value)>;
    using DeviceModeDelegateUnmanaged = Delegate<void(uint device, uint index, qx::redundancyState state)>;
    using DeviceMessageDelegateUnmanaged =
        Delegate<void(int workstation, uint device, const char* message, int reference)>;
    using ConfigChangeMessageDelegateUnmanaged = Delegate<void(const char* message)>;

    // Creates the native client and its message window on this thread.
    ZorvClient();
    ~ZorvClient();
    ZorvClient(const ZorvClient&) = delete;
    ZorvClient& operator=(const ZorvClient&) = delete;

    // Destroys the native client (a connected one disconnects and raises
    // DisconnectedEvent), then the bridge and the receivers.
    void Dispose();

    // Connection and settings.
    bool connect(IpcType ipc = IpcType::zel, int ipcOptions = 0);
    bool isConnected();
    bool disconnect();
    void writeEnable(bool enable);
    bool isWriteEnabled();
    void setCloseHostOnExit(bool close = false);
    bool counters(uint& tx, uint& rx);
    void resetCounters();
    void sendBufferCommands();
    uint maxDevices();
    uint maxSources();
    uint maxIndexes();
    uint maxDatabases();
    uint maxString();

    // Revertive registration.
    void revertiveRegister(uint device, uint start, uint end, bool overwrite = true, PollType pollType = PollType::IP);
    void revertiveDeregister(uint device, uint start, uint end);
    void revertiveDeregister(uint device, uint index);
    void revertiveDeregister(uint device);
    void revertiveDeregisterAll();
    bool getClientRegistrationExtent(uint device, uint& min, uint& max);

    // Router, infodriver and GPI commands.
    void routerCrosspoint(uint device, uint dest, int source, const String& mask, bool now = false);
    void routerCrosspoint(uint device, uint dest, int source);  // mask ",---"
    void routerPoll(uint device, uint start, uint end, bool now = false);
    void routerQuery(uint device, uint start, uint end, bool now = false);
    void routerLock(uint device, uint start, uint end, bool lock, bool now = false);
    void routerFile(uint device);
    void infoWrite(uint device, uint index, const String& value, bool now = false);
    void infoPoll(uint device, uint start, uint end, bool now = false);
    void infoQuery(uint device, uint start, uint end, bool now = false);
    void infoLock(uint device, uint start, uint end, bool lock, bool now = false);
    void gpiSwitch(uint device, uint index, bool state, bool now = false);
    void gpiFile(uint device);
    void gpiLock(uint device, uint start, uint end, bool lock, bool now = false);
    void gpiPoll(uint device, uint start, uint end, bool now = false);
    void gpiQuery(uint device, uint start, uint end, bool now = false);
    void deviceMessage(int workstation, uint device, const String& message, int reference);
    void deviceProfile(uint device, int& version, uint& sources, uint& dests);

    // The hub's value cache and device databases. cacheValue and databaseName
    // assign their output also when they report failure.
    void cacheEnable(bool state);
    void cacheFlush(uint device);
    uint cacheIndex(uint device, uint start, uint end, const String& value);
    bool cacheTest(uint device, uint start, uint end);
    bool cacheValue(uint device, uint index, String& value);
    bool databaseName(uint device, uint index, uint database, String& name);
    int databaseIndex(uint device, uint database, const String& name);
    bool databaseModify(uint device, uint index, uint database, const String& name, bool tallyDump = false,
                        bool includeHandle = false);
    void flushDatabaseCache(uint device = 0);

    // Network and configuration-change messages.
    void registerForNetMessage();
    void deregisterForNetMessage();
    void sendConfigChangeMessage(const String& msg);

    // Events.
    void add_ConnectedEvent(const VoidDelegate& handler) { ConnectedEvent += handler; }
    void remove_ConnectedEvent(const VoidDelegate& handler) { ConnectedEvent -= handler; }
    void add_DisconnectedEvent(const VoidDelegate& handler) { DisconnectedEvent += handler; }
    void remove_DisconnectedEvent(const VoidDelegate& handler) { DisconnectedEvent -= handler; }
    void add_InfoRevertiveEvent(const InfoRevertiveDelegate& handler) { InfoRevertiveEvent += handler; }
    void remove_InfoRevertiveEvent(const InfoRevertiveDelegate& handler) { InfoRevertiveEvent -= handler; }
    void add_RouterRevertiveEvent(const RouterRevertiveDelegate& handler) { RouterRevertiveEvent += handler; }
    void remove_RouterRevertiveEvent(const RouterRevertiveDelegate& handler) { RouterRevertiveEvent -= handler; }
    void add_GPIRevertiveEvent(const GPIRevertiveDelegate& handler) { GPIRevertiveEvent += handler; }
    void remove_GPIRevertiveEvent(const GPIRevertiveDelegate& handler) { GPIRevertiveEvent -= handler; }
    void add_DatabaseChangeEvent(const DatabaseChangeDelegate& handler) { DatabaseChangeEvent += handler; }
    void remove_DatabaseChangeEvent(const DatabaseChangeDelegate& handler) { DatabaseChangeEvent -= handler; }
    void add_DeviceModeEvent(const DeviceModeDelegate& handler) { DeviceModeEvent += handler; }
    void remove_DeviceModeEvent(const DeviceModeDelegate& handler) { DeviceModeEvent -= handler; }
    void add_DeviceMessageEvent(const DeviceMessageDelegate& handler) { DeviceMessageEvent += handler; }
    void remove_DeviceMessageEvent(const DeviceMessageDelegate& handler) { DeviceMessageEvent -= handler; }
    void add_PollErrorEvent(const PollErrorDelegate& handler) { PollErrorEvent += handler; }
    void remove_PollErrorEvent(const PollErrorDelegate& handler) { PollErrorEvent -= handler; }
    void add_ConfigChangeMessageEvent(const ConfigChangeMessageDelegate& handler) { ConfigChangeMessageEvent += handler; }
    void remove_ConfigChangeMessageEvent(const ConfigChangeMessageDelegate& handler) {
        ConfigChangeMessageEvent -= handler;
    }

private:
    std::mutex lock_;  // the object's lock: held while a subscription list is replaced

public:
    // The subscription lists; += and -= subscribe and unsubscribe.
    Event<void()> ConnectedEvent{lock_};
    Event<void()> DisconnectedEvent{lock_};
    Event<void(uint, uint, String)> InfoRevertiveEvent{lock_};
    Event<void(uint, uint, int)> RouterRevertiveEvent{lock_};
    Event<void(uint, uint, bool)> GPIRevertiveEvent{lock_};
    Event<void(uint, uint, int)> DatabaseChangeEvent{lock_};
    Event<void(uint, uint, RedundancyState)> DeviceModeEvent{lock_};
    Event<void(int, uint, String, int)> DeviceMessageEvent{lock_};
    Event<void(uint, uint)> PollErrorEvent{lock_};
    Event<void(String)> ConfigChangeMessageEvent{lock_};

protected:
    // Raise an event on its current subscribers, for derived classes. An
    // exception from a handler leaves these.
    void raise_ConnectedEvent() { ConnectedEvent.raise(); }
    void raise_DisconnectedEvent() { DisconnectedEvent.raise(); }
    void raise_InfoRevertiveEvent(uint device, uint index, const String& value) {
        InfoRevertiveEvent.raise(device, index, value);
    }
    void raise_RouterRevertiveEvent(uint device, uint index, int info) { RouterRevertiveEvent.raise(device, index, info); }
    void raise_GPIRevertiveEvent(uint device, uint index, bool state) { GPIRevertiveEvent.raise(device, index, state); }
    void raise_DatabaseChangeEvent(uint device, uint index, int database) {
        DatabaseChangeEvent.raise(device, index, database);
    }
    void raise_DeviceModeEvent(uint device, uint index, RedundancyState state) {
        DeviceModeEvent.raise(device, index, state);
    }
    void raise_DeviceMessageEvent(int workstation, uint device, const String& message, int reference) {
        DeviceMessageEvent.raise(workstation, device, message, reference);
    }
    void raise_PollErrorEvent(uint device, uint slot) { PollErrorEvent.raise(device, slot); }
    void raise_ConfigChangeMessageEvent(const String& message) { ConfigChangeMessageEvent.raise(message); }

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
