#include "infodriverDemo.h"

#include <qxplatform.h>

#include <cstdio>

#include "InfodriverHost.h"
#include "ZorvClient.h"
#include "qxInfodriver.h"
#include "zorvText.h"

namespace {

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// The driver: every value a client asks for is stamped before it is written.
class StampingDriver : public IqxInfodriverCallback {
public:
    explicit StampingDriver(std::string stamp) : stamp_(std::move(stamp)), driver_(this, "qxInfodriver") {}
    qxInfodriver& driver() { return driver_; }

    void slotWrite(int device, int index, const std::string& text) override {
        say(formatText("    driver %s: infodriver %d asks to write slot %d = '%s'", stamp_.c_str(), device, index,
                       text.c_str()));
        driver_.setSlot(index, "[" + stamp_ + "] " + text, true);
    }
    void deviceMessage(int, int, const std::string&, const std::string&, const std::string&) override {}
    void redundancyChange(int device, qx::redundancyState state) override {
        say(formatText("    driver %s: infodriver %d, now %s", stamp_.c_str(), device,
                       state == qx::tx ? "tx" : state == qx::rx ? "rx" : "unknown"));
    }
    void connected(int device) override { say(formatText("    driver %s: attached to infodriver %d", stamp_.c_str(), device)); }
    void disconnected(int device) override {
        say(formatText("    driver %s: detached from infodriver %d", stamp_.c_str(), device));
    }

private:
    std::string stamp_;
    qxInfodriver driver_;
};

}  // namespace

bool runInfodriverDemo(const std::string& facilityDirectory, int device) {
    infodriver::InfodriverOptions options;
    options.configDirectory = facilityDirectory;
    options.devices = {device};
    infodriver::InfodriverHost host(options);
    if (!host.start()) return false;
    say(formatText("infodriver %d running; a driver attaches to it", device));

    StampingDriver driver("checked");
    bool ok = !driver.driver().connect(device, qx::wm, 0);

    using namespace ZorvClientLibrary;
    ZorvClient client;
    std::string last;
    client.InfoRevertiveEvent += [&](uint infodriver, uint slot, String value) {
        last = value.toUtf8();
        say(formatText("  <- info revertive: device %u slot %u = '%s'", infodriver, slot, last.c_str()));
    };
    ok &= !client.connect(IpcType::wm);
    client.revertiveRegister(static_cast<uint>(device), 1, 8);
    say("client -> hub -> infodriver -> driver -> infodriver -> hub -> client: write slot 4");
    client.infoWrite(static_cast<uint>(device), 4, u"Studio B live", true);
    ok &= qxplatform::pumpUntil([&] { return last == "[checked] Studio B live"; }, 5000);
    return ok;
}
