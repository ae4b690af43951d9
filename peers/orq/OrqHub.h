// Orq, the hub stand-in: a hub that runs on its own thread with its own
// top-level window and message loop, embeddable in tests and programs.
//
//   orq::HubOptions options;
//   options.configDirectory = "c:\\facility";
//   orq::OrqHub hub(options);
//   hub.start();               // returns once the window exists
//   ... clients find it by broadcast or through halvik.dll ...
//   hub.stop();                // or WM_CLOSE from a client
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "HubOptions.h"
#include "HubRecorder.h"

namespace orq {

class HubCore;
class HubWindow;

class OrqHub {
public:
    explicit OrqHub(HubOptions options = {});
    ~OrqHub();
    OrqHub(const OrqHub&) = delete;
    OrqHub& operator=(const OrqHub&) = delete;

    // Starts the hub's thread, reads the device files and creates the window;
    // returns once the window exists (true) or could not be made (false).
    // A stopped or closed hub starts afresh: new state, names from the files.
    bool start();
    // Ends the loop, destroys the window and joins the thread. Must not be
    // called on the hub's own thread.
    void stop();
    // Waits until the hub's loop has ended (by WM_CLOSE or stop), at most timeoutMs.
    bool waitForEnd(DWORD timeoutMs);

    HWND window() const;
    bool running() const;
    // The hub closed its window because it received WM_CLOSE.
    bool closed() const;
    const HubOptions& options() const { return options_; }

    // ------------------------------------------------ recording (any thread)
    std::vector<HubEvent> events() const { return recorder_.events(); }
    std::vector<HubEvent> messages(UINT message) const { return recorder_.messages(message); }
    std::vector<HubEvent> requests(UINT code) const { return recorder_.requests(code); }
    std::vector<LeaveEvent> leaves() const { return recorder_.leaves(); }
    void clearRecords() { recorder_.clear(); }
    // Pumps the calling thread's messages (so that the hub's traffic to its
    // windows gets through) until done() holds or timeoutMs passes; wakes
    // whenever the hub records something, sends its queued traffic or ends.
    bool waitFor(const std::function<bool()>& done, DWORD timeoutMs) { return recorder_.waitFor(done, timeoutMs); }

    // ------------------------------------------------ hooks (run on the hub's thread)
    // Tells every client the redundancy mode of a device with 49170 and the
    // text "<keyword> <index> <device>" (keyword NA, NI or NB).
    void announceDeviceMode(int device, int index, const std::string& keyword);
    // Sends 2175 to every client.
    void announceDisconnect();
    // Sends a text under a message code to one window, by its transport.
    void deliver(HWND client, UINT code, const std::string& text);
    // The state of a device index as its revertive reports it ("" for none).
    std::string value(int device, int index);
    int deviceCount();
    int clientCount();
    // False for a device another workstation owns while its owner is
    // offline or the broker out of reach; true otherwise.
    bool deviceOnline(int device);

private:
    HubOptions options_;
    HubRecorder recorder_;
    std::unique_ptr<HubCore> core_;
    std::unique_ptr<HubWindow> window_;
};

}  // namespace orq
