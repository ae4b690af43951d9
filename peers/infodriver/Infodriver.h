// One infodriver: the slots of one device, a top-level window that drivers
// and the hub find (by tessil32.dll or by broadcast), and one message-only
// window per attached driver, so that every message tells who sent it. It
// keeps the drivers' redundancy roles, asks the tx driver to decide every
// write, and tells the hub about every slot that is set.
#pragma once

#include <windows.h>

#include <deque>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "InfodriverOptions.h"
#include "qxTypes.h"

namespace infodriver {

enum class Role { rx, tx };

struct Driver {
    HWND window = nullptr;  // the driver's message window
    HWND port = nullptr;    // this infodriver's window for it
    qx::ipcType transport = qx::wm;
    Role role = Role::rx;
    bool gone = false;
};

class Infodriver {
public:
    // Window classes of the main windows and of the per-driver windows; the
    // host registers them once per process.
    static bool registerClasses();
    static void unregisterClasses();

    Infodriver(int device, int slotCount, const std::map<int, std::string>& initial, const InfodriverOptions& options);
    ~Infodriver();
    Infodriver(const Infodriver&) = delete;
    Infodriver& operator=(const Infodriver&) = delete;

    // Creates the main window; false when that fails.
    bool create();
    // Drops drivers whose windows are gone and sends what the hub must hear.
    void tick();

    HWND window() const { return window_; }
    int device() const { return device_; }
    std::string slot(int index) const;
    int driverCount() const;
    HWND txDriver() const;
    // A write as the hub asks for it: the tx driver decides, else it is applied.
    void requestWrite(int index, const std::string& text, int workstation);
    // A device message "NS device workstation 'text' sender second third" to every driver.
    void sendDeviceMessage(const std::string& text);

private:
    struct Endpoint;  // what a window stands for: this infodriver and one driver or none
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND window, Driver* from, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleRequest(Driver* from, UINT code, WPARAM wParam, char* block);

    void attach(HWND driverWindow, qx::ipcType transport);
    void leave(Driver& driver);
    void setRole(Driver& driver, WPARAM requested);
    void handOver();
    void reap();
    LRESULT redundancyAnswer(const Driver* driver) const;

    bool applyFrom(const Driver* from, int index, const std::string& text);
    void apply(int index, const std::string& text, int workstation);
    void reportRange(int first, int last);
    void readSlot(int index, char* block) const;
    LRESULT relayDeviceMessage(const char* text);
    void deviceMessageFromHub(const char* text);
    LONG sendToDriver(const Driver& driver, UINT code, WPARAM parameter, const std::string& text);

    bool findHub();
    void reportToHub(std::string text);
    void pushToHub();
    void log(const std::string& line) const;

    const int device_;
    std::vector<std::string> slots_;  // index 0 unused
    const InfodriverOptions& options_;
    HWND window_ = nullptr;
    Endpoint* mainEndpoint_ = nullptr;
    std::list<Driver> drivers_;
    std::list<Endpoint> endpoints_;
    std::map<int, int> requestedBy_;  // slot -> workstation of the write waiting for the driver
    std::deque<std::string> toHub_;
    HWND hub_ = nullptr;
    DWORD lastHubSearch_ = 0;
    bool searchedHub_ = false;
    LRESULT lastNotify_ = 0;
};

}  // namespace infodriver
