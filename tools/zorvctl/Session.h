// One zorvctl run against the session's hub: the client, its connection, the
// revertives it has received, waiting for them, and the library's trace lines
// that tell a refused call.
#pragma once

#include <qxplatform.h>

#include <functional>
#include <string>
#include <vector>

#include "Configuration.h"
#include "HubLink.h"
#include "Output.h"
#include "ZorvClient.h"

namespace zorvctl {

struct Options {
    std::string transport = "zel";
    bool json = false;
    bool hold = false;      // leave commands held by the hub until flushed
    bool readOnly = false;  // disable the client's writes
    double timeout = -1;    // seconds; below 0: the command's default
    bool follow = false;    // watchers: wait for a new hub when the hub goes
    int workstation = -1;   // --workstation; below 0: the configuration's
    std::string config;     // --config: the configuration directory
};

// How a watch ended.
enum class Watched { reached, ended, hubGone };

// A revertive as it arrived.
struct Revertive {
    char kind = 'R';  // R router, I info, G gpi
    unsigned device = 0;
    unsigned index = 0;
    int source = 0;          // router
    std::string value;       // info
    bool state = false;      // gpi
};

// Pumps this thread's messages until done() holds, the timeout passes
// (seconds, 0: no limit) or the user interrupts; false unless done.
bool pumpUntil(const std::function<bool()>& done, double seconds);

class Session {
public:
    Session(const Options& options, const Configuration& configuration);
    ~Session();

    // Connects to the running hub; exit code noHub (after the hint) when none runs.
    int connect();
    ZorvClientLibrary::ZorvClient& client() { return client_; }
    const Output& out() const { return out_; }
    const Options& options() const { return options_; }
    const Configuration& configuration() const { return configuration_; }
    int workstation() const { return configuration_.workstation; }

    // refused, after writing the library's trace lines to standard error,
    // when the client traced a refusal since the last call; else done.
    int traced();
    // Refused, with a message, when writes are disabled.
    int writable();
    // Usage, with a message, when the text is too long for the hub.
    int fitsHub(const std::string& text);

    bool waitUntil(const std::function<bool()>& done, double seconds) { return pumpUntil(done, seconds); }
    // Pumps until done() holds (reached), the timeout passes or an interrupt
    // (ended), checking on a timer that the hub is still there
    // (isConnected()). When it has gone: hubGone, after a message; with
    // --follow it waits for a new hub instead, connects, calls setup to
    // register again and goes on.
    Watched watch(const std::function<bool()>& done, double seconds, const std::function<void()>& setup);

    HubLink& link() { return link_; }
    // The device, checked against the hub's profile: it exists and, unless
    // kind is 0, is of that kind (R, I or G). Empty, after a message, when not.
    std::optional<DeviceInfo> device(unsigned number, char kind);
    double timeout(double fallback) const { return options_.timeout >= 0 ? options_.timeout : fallback; }

    // Revertives received so far; printed as they arrive when echo is set.
    std::vector<Revertive> revertives;
    bool echo = false;

private:
    Options options_;
    Configuration configuration_;
    Output out_;
    HubLink link_;
    ZorvClientLibrary::ZorvClient client_;
    qxplatform::DebugCapture trace_;
    std::size_t traceSeen_ = 0;
};

// Says that no hub runs and how to start one; returns noHub.
int noHubRunning();
// Says that the hub has gone; returns noHub.
int hubGone();
// Waits (pumping) for a hub to run; false when interrupted first.
bool awaitHub();
// A pump slice of a watcher that checks on the hub at most every
// hubCheckMs: true while it is there.
constexpr unsigned hubCheckMs = 250;

// Set by SIGINT: waits end.
bool interrupted();
void catchInterrupt();

}  // namespace zorvctl
