// _zorv.Infodriver: a qxInfodriver (a driver attached to one infodriver) on a
// ClientThread, its callbacks as events (code, *args).
#include <pybind11/stl.h>

#include <memory>

#include "Pumped.h"
#include "qxInfodriver.h"

namespace zorvpy {

namespace {

// Event codes, in the order of the package's infodriver event classes.
enum Code : int { slotWrite, deviceMessage, redundancyChange, attached, detached };

const std::vector<std::string> refusals{"qxInfodriver: "};

// The driver lives on the thread of a ClientThread, whose ZorvClient it does
// not use: the helper is what pumps the messages of the driver's window.
class NativeInfodriver : public IqxInfodriverCallback {
public:
    explicit NativeInfodriver(py::object onEvent) : pumped_(std::move(onEvent), refusals) {
        pumped_.start([this](ZorvClient&) { driver_ = std::make_unique<qxInfodriver>(this, "qxInfodriver"); });
    }
    ~NativeInfodriver() override { close(); }
    NativeInfodriver(const NativeInfodriver&) = delete;
    NativeInfodriver& operator=(const NativeInfodriver&) = delete;

    // Runs work on the driver; a check that failed (the driver's true) and
    // wrote no line still raises.
    template <typename F>
    auto run(F&& work, bool checked = true) {
        return pumped_.run([&](ZorvClient&) { return work(*driver_); }, checked);
    }
    void checked(bool failed, const char* what) {
        if (failed) throw Refused(std::string("qxInfodriver: ") + what + " refused");
    }
    void close() {
        pumped_.close([this](ZorvClient&) { driver_.reset(); });
    }
    bool closed() const { return pumped_.closed(); }

    void slotWrite(int device, int index, const std::string& text) override {
        pumped_.emit(Code::slotWrite, device, index, text);
    }
    void deviceMessage(int ws, int device, const std::string& text, const std::string& second,
                       const std::string& third) override {
        pumped_.emit(Code::deviceMessage, ws, device, text, second, third);
    }
    void redundancyChange(int device, qx::redundancyState state) override {
        pumped_.emit(Code::redundancyChange, device, static_cast<int>(state));
    }
    void connected(int device) override { pumped_.emit(attached, device); }
    void disconnected(int device) override { pumped_.emit(detached, device); }

private:
    std::unique_ptr<qxInfodriver> driver_;  // made and destroyed on the thread
    Pumped pumped_;
};

}  // namespace

void bindInfodriver(py::module_& m) {
    using N = NativeInfodriver;
    py::class_<N> cls(m, "Infodriver", "qxInfodriver on a thread of its own (use zorv.Infodriver).");
    cls.def(py::init<py::object>());
    cls.def("close", &N::close);
    cls.def_property_readonly("closed", &N::closed);
    cls.def("connect", [](N& n, int device, int ipc) {
        return n.run([&](qxInfodriver& d) { return !d.connect(device, static_cast<qx::ipcType>(ipc), 0); }, false);
    });
    cls.def("disconnect", [](N& n) { return n.run([](qxInfodriver& d) { return !d.disconnect(); }, false); });
    cls.def("is_connected", [](N& n) { return n.run([](qxInfodriver& d) { return d.isConnected(); }); });
    cls.def("set_slot", [](N& n, int index, const std::string& text, bool now) {
        n.checked(n.run([&](qxInfodriver& d) { return d.setSlot(index, text, now); }), "slot write");
    });
    cls.def("get_slot", [](N& n, int index) {
        std::string text;
        n.checked(n.run([&](qxInfodriver& d) { return d.getSlot(index, text); }), "slot read");
        return text;
    });
    cls.def("send_slot_range", [](N& n, int first, int last) {
        n.checked(n.run([&](qxInfodriver& d) { return d.sendSlotRange(first, last); }), "slot range");
    });
    cls.def("send_device_message", [](N& n, int ws, int device, const std::string& text, const std::string& second,
                                      const std::string& third) {
        n.checked(n.run([&](qxInfodriver& d) { return d.sendDeviceMessage(ws, device, text, second, third); }),
                  "device message");
    });
    cls.def("state", [](N& n) { return n.run([](qxInfodriver& d) { return static_cast<int>(d.getState()); }); });
    cls.def("set_redundancy_state", [](N& n, int state, bool force) {
        n.run([&](qxInfodriver& d) { d.setRedundancyState(state, force); });
    });
    cls.def("mode", [](N& n) { return n.run([](qxInfodriver& d) { return d.getRedundancyMode(); }); });
    cls.def("set_redundancy_mode", [](N& n, int mode, bool apply, bool force) {
        n.run([&](qxInfodriver& d) { d.setRedundancyMode(mode, apply, force); });
    });
    cls.def("set_close_host_on_exit", [](N& n, bool on) { n.run([&](qxInfodriver& d) { d.setCloseHostOnExit(on); }); });
    cls.def("counters", [](N& n) {
        return n.run([](qxInfodriver& d) {
            unsigned tx = 0, rx = 0;
            const bool changed = d.counters(tx, rx);
            return std::make_tuple(tx, rx, changed);
        });
    });
}

}  // namespace zorvpy
