// Runs infodrivers on a thread of their own: one Infodriver per device, all
// pumped by one message loop, embeddable in tests and programs.
//
//   infodriver::InfodriverOptions options;
//   options.configDirectory = "c:\\facility";
//   infodriver::InfodriverHost host(options);
//   host.start();        // returns once every infodriver's window exists
//   ... drivers find them through tessil32.dll or by broadcast ...
//   host.stop();         // or WM_CLOSE to any of its windows
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Infodriver.h"
#include "InfodriverOptions.h"

namespace infodriver {

class InfodriverHost {
public:
    explicit InfodriverHost(InfodriverOptions options = {});
    ~InfodriverHost();
    InfodriverHost(const InfodriverHost&) = delete;
    InfodriverHost& operator=(const InfodriverHost&) = delete;

    // Reads the device files, creates the windows and starts the loop;
    // false when no infodriver could be made.
    bool start();
    // Ends the loop, tells the drivers, destroys the windows, joins the thread.
    void stop();
    bool running() const { return running_.load(); }
    // Waits until the loop has ended (stop or WM_CLOSE), at most timeoutMs.
    bool waitForEnd(DWORD timeoutMs);

    // ------------------------------------------- hooks (run on the host's thread)
    std::vector<int> devices();
    HWND window(int device);
    std::string slot(int device, int index);
    int driverCount(int device);
    HWND txDriver(int device);
    // A write as the hub asks for it.
    void requestWrite(int device, int index, const std::string& text, int workstation);
    // "NS device workstation 'text' sender second third" to every driver of the device.
    void sendDeviceMessage(int device, const std::string& text);

private:
    void run(std::promise<bool>* started);
    void loop();
    bool invoke(const std::function<void()>& work);
    Infodriver* find(int device);
    static LRESULT CALLBACK control(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    InfodriverOptions options_;
    std::vector<std::unique_ptr<Infodriver>> infodrivers_;
    std::thread thread_;
    std::atomic<HWND> control_{nullptr};
    std::atomic<DWORD> threadId_{0};
    std::atomic<bool> running_{false};
    std::atomic<bool> ended_{true};
};

}  // namespace infodriver
