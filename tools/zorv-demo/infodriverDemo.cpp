#include "infodriverDemo.h"

#include <qxplatform.h>

#include <cstdio>

#include "InfodriverHost.h"
#include "qxClient.h"
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

class RevertiveWatch : public IqxClientCallback {
public:
    std::string last;
    void connected() override {}
    void disconnected() override {}
    void infoRevertive(int device, int slot, const std::string& value) override {
        last = value;
        say(formatText("  <- info revertive: device %d slot %d = '%s'", device, slot, value.c_str()));
    }
    void routerRevertive(int, int, int) override {}
    void gpiRevertive(int, int, bool) override {}
    void databaseChange(int, int, int) override {}
    void deviceMode(int, int, qx::redundancyState) override {}
    void deviceMessage(int, int, const std::string&, int) override {}
    void pollError(int, int) override {}
    void configChangeMessage(const std::string&) override {}
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

    RevertiveWatch watch;
    qxClient client(&watch, "qxClient");
    ok &= !client.connect(qx::wm, 0);
    client.revertiveRegister(device, 1, 8, true, qx::IP);
    say("client -> hub -> infodriver -> driver -> infodriver -> hub -> client: write slot 4");
    client.infoWrite(device, 4, "Studio B live", true, 0);
    ok &= qxplatform::pumpUntil([&] { return watch.last == "[checked] Studio B live"; }, 5000);
    return ok;
}
