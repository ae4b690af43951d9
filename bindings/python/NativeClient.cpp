// _zorv.Client: ZorvClient on a ClientThread, its operations with the
// arguments the package has already checked, its events as (code, *args).
#include <pybind11/stl.h>

#include "Pumped.h"

namespace zorvpy {

using ZorvClientLibrary::IpcType;
using ZorvClientLibrary::PollType;
using ZorvClientLibrary::String;
using uint = std::uint32_t;

namespace {

// Event codes, in the order of the package's event classes.
enum Code : int {
    connected, disconnected, info, router, gpi, databaseChange, deviceMode, deviceMessage, pollError, configChange
};

// The check lines of the native client: its name heads them, and the database
// modify check writes one of its own.
const std::vector<std::string> refusals{"qxClient: ", "database modify index"};

class NativeClient {
public:
    explicit NativeClient(py::object onEvent) : pumped_(std::move(onEvent), refusals) {
        pumped_.start([this](ZorvClient& c) { subscribe(c); });
    }

    template <typename F>
    auto run(F&& work, bool checked = true) { return pumped_.run(std::forward<F>(work), checked); }
    void close() { pumped_.close(); }
    bool closed() const { return pumped_.closed(); }

private:
    void subscribe(ZorvClient& c) {
        Pumped& p = pumped_;
        c.ConnectedEvent += [&p] { p.emit(connected); };
        c.DisconnectedEvent += [&p] { p.emit(disconnected); };
        c.InfoRevertiveEvent += [&p](uint d, uint i, String v) { p.emit(info, d, i, v.toUtf8()); };
        c.RouterRevertiveEvent += [&p](uint d, uint i, int s) { p.emit(router, d, i, s); };
        c.GPIRevertiveEvent += [&p](uint d, uint i, bool s) { p.emit(gpi, d, i, s); };
        c.DatabaseChangeEvent += [&p](uint d, uint i, int db) { p.emit(databaseChange, d, i, db); };
        c.DeviceModeEvent += [&p](uint d, uint i, ZorvClientLibrary::RedundancyState s) {
            p.emit(deviceMode, d, i, static_cast<int>(s));
        };
        c.DeviceMessageEvent += [&p](int ws, uint d, String m, int r) { p.emit(deviceMessage, ws, d, m.toUtf8(), r); };
        c.PollErrorEvent += [&p](uint d, uint s) { p.emit(pollError, d, s); };
        c.ConfigChangeMessageEvent += [&p](String m) { p.emit(configChange, m.toUtf8()); };
    }

    Pumped pumped_;
};

String text(const std::string& utf8) { return String::fromUtf8(utf8); }

// Binds a method whose work is one call on the client.
template <typename... Args, typename Work>
void op(py::class_<NativeClient>& cls, const char* name, Work work) {
    cls.def(name, [work](NativeClient& n, Args... args) {
        return n.run([&](ZorvClient& c) { return work(c, args...); });
    });
}

}  // namespace

void bindClient(py::module_& m) {
    py::class_<NativeClient> cls(m, "Client", "ZorvClient on a thread of its own (use zorv.Client).");
    cls.def(py::init<py::object>());
    cls.def("close", &NativeClient::close);
    cls.def_property_readonly("closed", &NativeClient::closed);
    cls.def("connect", [](NativeClient& n, int ipc) {
        return n.run([ipc](ZorvClient& c) { return !c.connect(static_cast<IpcType>(ipc)); }, false);
    });
    cls.def("disconnect", [](NativeClient& n) { return n.run([](ZorvClient& c) { return !c.disconnect(); }, false); });
    op<>(cls, "is_connected", [](ZorvClient& c) { return c.isConnected(); });
    op<bool>(cls, "write_enable", [](ZorvClient& c, bool on) { c.writeEnable(on); });
    op<>(cls, "is_write_enabled", [](ZorvClient& c) { return c.isWriteEnabled(); });
    op<bool>(cls, "set_close_host_on_exit", [](ZorvClient& c, bool on) { c.setCloseHostOnExit(on); });
    op<>(cls, "counters", [](ZorvClient& c) {
        uint tx = 0, rx = 0;
        const bool changed = c.counters(tx, rx);
        return std::make_tuple(tx, rx, changed);
    });
    op<>(cls, "reset_counters", [](ZorvClient& c) { c.resetCounters(); });
    op<>(cls, "flush", [](ZorvClient& c) { c.sendBufferCommands(); });
    op<>(cls, "limits", [](ZorvClient& c) {
        return std::vector<uint>{c.maxDevices(), c.maxSources(), c.maxIndexes(), c.maxDatabases(), c.maxString()};
    });
    op<uint, uint, uint, bool, int>(cls, "register", [](ZorvClient& c, uint d, uint s, uint e, bool o, int poll) {
        c.revertiveRegister(d, s, e, o, static_cast<PollType>(poll));
    });
    op<uint, uint, uint>(cls, "deregister_range",
                         [](ZorvClient& c, uint d, uint s, uint e) { c.revertiveDeregister(d, s, e); });
    op<uint, uint>(cls, "deregister_index", [](ZorvClient& c, uint d, uint i) { c.revertiveDeregister(d, i); });
    op<uint>(cls, "deregister_device", [](ZorvClient& c, uint d) { c.revertiveDeregister(d); });
    op<>(cls, "deregister_all", [](ZorvClient& c) { c.revertiveDeregisterAll(); });
    op<uint>(cls, "registration_extent", [](ZorvClient& c, uint d) {
        uint low = 0, high = 0;
        return c.getClientRegistrationExtent(d, low, high) ? std::optional<std::pair<uint, uint>>()
                                                            : std::make_pair(low, high);
    });
    op<uint, uint, int, std::string, bool>(cls, "route", [](ZorvClient& c, uint d, uint dest, int src,
                                                             const std::string& mask, bool now) {
        c.routerCrosspoint(d, dest, src, text(mask), now);
    });
    using Range = void (ZorvClient::*)(uint, uint, uint, bool);
    for (auto [name, method] : {std::pair<const char*, Range>{"router_poll", &ZorvClient::routerPoll},
                                {"router_query", &ZorvClient::routerQuery},
                                {"info_poll", &ZorvClient::infoPoll},
                                {"info_query", &ZorvClient::infoQuery},
                                {"gpi_poll", &ZorvClient::gpiPoll},
                                {"gpi_query", &ZorvClient::gpiQuery}}) {
        op<uint, uint, uint, bool>(cls, name, [method](ZorvClient& c, uint d, uint s, uint e, bool now) {
            (c.*method)(d, s, e, now);
        });
    }
    using Lock = void (ZorvClient::*)(uint, uint, uint, bool, bool);
    for (auto [name, method] : {std::pair<const char*, Lock>{"router_lock", &ZorvClient::routerLock},
                                {"info_lock", &ZorvClient::infoLock},
                                {"gpi_lock", &ZorvClient::gpiLock}}) {
        op<uint, uint, uint, bool, bool>(cls, name, [method](ZorvClient& c, uint d, uint s, uint e, bool l, bool now) {
            (c.*method)(d, s, e, l, now);
        });
    }
    op<uint>(cls, "router_file", [](ZorvClient& c, uint d) { c.routerFile(d); });
    op<uint>(cls, "gpi_file", [](ZorvClient& c, uint d) { c.gpiFile(d); });
    op<uint, uint, std::string, bool>(cls, "info_write",
                                      [](ZorvClient& c, uint d, uint i, const std::string& v, bool now) {
        c.infoWrite(d, i, text(v), now);
    });
    op<uint, uint, bool, bool>(cls, "gpi_switch",
                               [](ZorvClient& c, uint d, uint i, bool s, bool now) { c.gpiSwitch(d, i, s, now); });
    op<int, uint, std::string, int>(cls, "device_message",
                                    [](ZorvClient& c, int ws, uint d, const std::string& msg, int ref) {
        c.deviceMessage(ws, d, text(msg), ref);
    });
    op<uint>(cls, "profile", [](ZorvClient& c, uint d) {
        int version = 0;
        uint sources = 0, dests = 0;
        String name;
        c.deviceProfile(d, version, sources, dests, name);
        return std::make_tuple(version, sources, dests, name.toUtf8());
    });
    op<bool>(cls, "cache_enable", [](ZorvClient& c, bool on) { c.cacheEnable(on); });
    op<uint>(cls, "cache_flush", [](ZorvClient& c, uint d) { c.cacheFlush(d); });
    op<uint, uint, uint, std::string>(cls, "cache_index",
                                      [](ZorvClient& c, uint d, uint s, uint e, const std::string& v) {
        return c.cacheIndex(d, s, e, text(v));
    });
    op<uint, uint, uint>(cls, "cache_test", [](ZorvClient& c, uint d, uint s, uint e) { return c.cacheTest(d, s, e); });
    op<uint, uint>(cls, "cache_value", [](ZorvClient& c, uint d, uint i) {
        String value;
        return c.cacheValue(d, i, value) ? std::optional<std::string>() : value.toUtf8();
    });
    op<uint, uint, uint>(cls, "name", [](ZorvClient& c, uint d, uint i, uint db) {
        String name;
        return c.databaseName(d, i, db, name) ? std::optional<std::string>() : name.toUtf8();
    });
    op<uint, uint, std::string>(cls, "name_index", [](ZorvClient& c, uint d, uint db, const std::string& name) {
        return c.databaseIndex(d, db, text(name));
    });
    op<uint, uint, uint, std::string, bool, bool>(cls, "set_name", [](ZorvClient& c, uint d, uint i, uint db,
                                                                     const std::string& name, bool tally, bool handle) {
        return !c.databaseModify(d, i, db, text(name), tally, handle);
    });
    op<uint>(cls, "flush_names", [](ZorvClient& c, uint d) { c.flushDatabaseCache(d); });
    op<>(cls, "register_messages", [](ZorvClient& c) { c.registerForNetMessage(); });
    op<>(cls, "deregister_messages", [](ZorvClient& c) { c.deregisterForNetMessage(); });
    op<std::string>(cls, "send_config_change",
                    [](ZorvClient& c, const std::string& msg) { c.sendConfigChangeMessage(text(msg)); });
}

}  // namespace zorvpy
