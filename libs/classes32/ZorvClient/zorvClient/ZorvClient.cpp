// Construction, teardown and the operations: each one call of the native
// client with the text converted and the outputs copied back.
#include "ZorvClient.h"

#include "ZorvText.h"
#include "qxClient.h"
#include "unmanagedCallbacks.h"

namespace ZorvClientLibrary {

namespace {

int in(uint number) { return static_cast<int>(number); }  // bit for bit

const std::string defaultMask = ",---";

}  // namespace

ZorvClient::ZorvClient() {
    cgh = std::make_unique<VoidDelegate>(this, &ZorvClient::ConnectedReceived);
    dgh = std::make_unique<VoidDelegate>(this, &ZorvClient::DisconnectedReceived);
    irgh = std::make_unique<InfoRevertiveDelegateUnmanaged>(this, &ZorvClient::InfoRevertiveReceived);
    rrgh = std::make_unique<RouterRevertiveDelegate>(this, &ZorvClient::RouterRevertiveReceived);
    gpigh = std::make_unique<GPIRevertiveDelegate>(this, &ZorvClient::GPIRevertiveReceived);
    dbgh = std::make_unique<DatabaseChangeDelegate>(this, &ZorvClient::DatabaseChangeReceived);
    dmgh = std::make_unique<DeviceModeDelegateUnmanaged>(this, &ZorvClient::DeviceModeReceived);
    dmsggh = std::make_unique<DeviceMessageDelegateUnmanaged>(this, &ZorvClient::DeviceMessageReceived);
    pegh = std::make_unique<PollErrorDelegate>(this, &ZorvClient::PollErrorReceived);
    ccmgh = std::make_unique<ConfigChangeMessageDelegateUnmanaged>(this, &ZorvClient::ConfigChangeMessageReceived);
    u = std::make_unique<unmanagedCallbacks>(cgh.get(), dgh.get(), irgh.get(), rrgh.get(), gpigh.get(), dbgh.get(),
                                             dmgh.get(), dmsggh.get(), pegh.get(), ccmgh.get());
    c = std::make_unique<qxClient>(u.get(), "qxClient");
}

ZorvClient::~ZorvClient() { Dispose(); }

void ZorvClient::Dispose() {
    if (disposed_) return;
    if (receiving_ > 0) throw std::logic_error("ZorvClient: Dispose is not possible inside one of its own events");
    disposed_ = true;
    c.reset();  // its window's end disconnects, which still reaches DisconnectedEvent
    u.reset();
    cgh.reset();
    dgh.reset();
    irgh.reset();
    rrgh.reset();
    gpigh.reset();
    dbgh.reset();
    dmgh.reset();
    dmsggh.reset();
    pegh.reset();
    ccmgh.reset();
}

qxClient& ZorvClient::native() {
    if (disposed_) throw ObjectDisposedError();
    return *c;
}

// ------------------------------------------------------------ connection and settings

bool ZorvClient::connect(IpcType ipc, int ipcOptions) {
    return native().connect(static_cast<qx::ipcType>(ipc), ipcOptions);
}
bool ZorvClient::isConnected() { return native().isConnected(); }
bool ZorvClient::disconnect() { return native().disconnect(); }
void ZorvClient::writeEnable(bool enable) { native().writeEnable(enable); }
bool ZorvClient::isWriteEnabled() { return native().isWriteEnabled(); }
void ZorvClient::setCloseHostOnExit(bool close) { native().setCloseHostOnExit(close); }

bool ZorvClient::counters(uint& tx, uint& rx) {
    unsigned a = 0, b = 0;
    const bool changed = native().counters(a, b);
    tx = a;
    rx = b;
    return changed;
}

void ZorvClient::resetCounters() { native().resetCounters(); }
void ZorvClient::sendBufferCommands() { native().sendBufferedCommands(); }
uint ZorvClient::maxDevices() { return native().maxDevices(); }
uint ZorvClient::maxSources() { return native().maxSources(); }
uint ZorvClient::maxIndexes() { return native().maxIndexes(); }
uint ZorvClient::maxDatabases() { return native().maxDatabases(); }
uint ZorvClient::maxString() { return native().maxString(); }

// ------------------------------------------------------------ revertive registration

void ZorvClient::revertiveRegister(uint device, uint start, uint end, bool overwrite, PollType pollType) {
    native().revertiveRegister(in(device), in(start), in(end), overwrite, static_cast<int>(pollType));
}
void ZorvClient::revertiveDeregister(uint device, uint start, uint end) {
    native().revertiveDeregister(in(device), in(start), in(end));
}
void ZorvClient::revertiveDeregister(uint device, uint index) {
    native().revertiveDeregister(in(device), in(index), in(index));
}
void ZorvClient::revertiveDeregister(uint device) { native().revertiveDeregister(in(device), 0, 0); }
void ZorvClient::revertiveDeregisterAll() { native().revertiveDeregisterAll(); }

bool ZorvClient::getClientRegistrationExtent(uint device, uint& min, uint& max) {
    int a = 0, b = 0;
    const bool failed = native().getClientRegistrationExtent(in(device), a, b);
    min = static_cast<uint>(a);
    max = static_cast<uint>(b);
    return failed;
}

// ------------------------------------------------------------ commands

void ZorvClient::routerCrosspoint(uint device, uint dest, int source, const String& mask, bool now) {
    native().routerCrosspoint(in(device), in(dest), source, text(mask), now, 0);
}
void ZorvClient::routerCrosspoint(uint device, uint dest, int source) {
    native().routerCrosspoint(in(device), in(dest), source, defaultMask, false, 0);
}
void ZorvClient::routerPoll(uint device, uint start, uint end, bool now) {
    native().routerPoll(in(device), in(start), in(end), now);
}
void ZorvClient::routerQuery(uint device, uint start, uint end, bool now) {
    native().routerQuery(in(device), in(start), in(end), now);
}
void ZorvClient::routerLock(uint device, uint start, uint end, bool lock, bool now) {
    native().routerLock(in(device), in(start), in(end), lock, now, 0);
}
void ZorvClient::routerFile(uint device) { native().routerFile(in(device)); }
void ZorvClient::infoWrite(uint device, uint index, const String& value, bool now) {
    native().infoWrite(in(device), in(index), text(value), now, 0);
}
void ZorvClient::infoPoll(uint device, uint start, uint end, bool now) {
    native().infoPoll(in(device), in(start), in(end), now);
}
void ZorvClient::infoQuery(uint device, uint start, uint end, bool now) {
    native().infoQuery(in(device), in(start), in(end), now);
}
void ZorvClient::infoLock(uint device, uint start, uint end, bool lock, bool now) {
    native().infoLock(in(device), in(start), in(end), lock, now, 0);
}
void ZorvClient::gpiSwitch(uint device, uint index, bool state, bool now) {
    native().gpiSwitch(in(device), in(index), state, now, 0);
}
void ZorvClient::gpiFile(uint device) { native().gpiFile(in(device)); }
void ZorvClient::gpiLock(uint device, uint start, uint end, bool lock, bool now) {
    native().gpiLock(in(device), in(start), in(end), lock, now, 0);
}
void ZorvClient::gpiPoll(uint device, uint start, uint end, bool now) {
    native().gpiPoll(in(device), in(start), in(end), now);
}
void ZorvClient::gpiQuery(uint device, uint start, uint end, bool now) {
    native().gpiQuery(in(device), in(start), in(end), now);
}
void ZorvClient::deviceMessage(int workstation, uint device, const String& message, int reference) {
    native().deviceMessage(workstation, in(device), text(message), reference);
}

void ZorvClient::deviceProfile(uint device, int& version, uint& sources, uint& dests) {
    String discarded;
    deviceProfile(device, version, sources, dests, discarded);
}

void ZorvClient::deviceProfile(uint device, int& version, uint& sources, uint& dests, String& name) {
    int a = 0, b = 0, d = 0;
    std::string nativeName;
    native().deviceProfile(in(device), a, b, d, nativeName);
    version = a;
    sources = static_cast<uint>(b);
    dests = static_cast<uint>(d);
    name = unicode(nativeName);
}

// ------------------------------------------------------------ cache and databases

void ZorvClient::cacheEnable(bool state) { native().cacheEnable(state); }
void ZorvClient::cacheFlush(uint device) { native().cacheFlush(in(device)); }
uint ZorvClient::cacheIndex(uint device, uint start, uint end, const String& value) {
    return static_cast<uint>(native().cacheIndex(in(device), in(start), in(end), text(value)));
}
bool ZorvClient::cacheTest(uint device, uint start, uint end) {
    return native().cacheTest(in(device), in(start), in(end));
}

bool ZorvClient::cacheValue(uint device, uint index, String& value) {
    std::string s;
    const bool failed = native().cacheValue(in(device), in(index), s);
    value = unicode(s);
    return failed;
}

bool ZorvClient::databaseName(uint device, uint index, uint database, String& name) {
    std::string s;
    const bool failed = native().databaseName(in(device), in(index), in(database), s);
    name = unicode(s);
    return failed;
}

int ZorvClient::databaseIndex(uint device, uint database, const String& name) {
    return native().databaseIndex(in(device), in(database), text(name));
}
bool ZorvClient::databaseModify(uint device, uint index, uint database, const String& name, bool tallyDump,
                                bool includeHandle) {
    return native().databaseModify(in(device), in(index), in(database), text(name), tallyDump, includeHandle, 0);
}
void ZorvClient::flushDatabaseCache(uint device) { native().flushDatabaseCache(in(device)); }

// ------------------------------------------------------------ network messages

void ZorvClient::registerForNetMessage() { native().registerForNetMessage(); }
void ZorvClient::deregisterForNetMessage() { native().deregisterForNetMessage(); }
void ZorvClient::sendConfigChangeMessage(const String& msg) { native().sendConfigChangeMessage(text(msg)); }

}  // namespace ZorvClientLibrary
