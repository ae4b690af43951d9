// Helpers of the hub tests: a fresh facility directory with device files, and
// a fake client (a message-only window on the test thread) that talks to the
// hub with raw window messages and copy-data exchanges.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "OrqHub.h"

namespace orqtest {

// A fresh configuration directory, a Windows path below drive c:, removed
// again at the end. On POSIX hosts the drives root is a temporary directory
// of this process.
class Facility {
public:
    Facility();
    ~Facility();
    Facility(const Facility&) = delete;
    Facility& operator=(const Facility&) = delete;

    const std::string& directory() const { return directory_; }
    void write(const std::string& file, const std::string& text) const;
    std::string read(const std::string& file) const;
    // Router 1 (8 sources, 4 destinations), infodriver 2 (10 slots), GPI
    // unit 3 (6 indexes), with some initial state and names.
    void writeStandardDevices() const;

private:
    std::string directory_;
};

// Hub options for tests: the facility's directory, a window class of its own
// and commands without the now bit held until flushed.
orq::HubOptions testOptions(const Facility& facility);

struct Delivered {
    UINT code;
    std::string text;
    std::vector<unsigned char> record;  // the 12-byte record of 49854
    bool throughInterfaceLibrary;
};

struct PlainMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class FakeClient {
public:
    explicit FakeClient(HWND hub);
    ~FakeClient();
    FakeClient(const FakeClient&) = delete;
    FakeClient& operator=(const FakeClient&) = delete;

    HWND window() const { return window_; }
    void setHub(HWND hub) { hub_ = hub; }

    // Announces itself (2034, or 2054 for the interface library) and registers (49222).
    void join(bool throughInterfaceLibrary = false);
    LRESULT send(UINT message, WPARAM wParam, LPARAM lParam) const;
    LRESULT sendWithWindow(UINT message, LPARAM lParam = 0) const;

    // A copy-data request; the reply block, when wanted, is copied back over
    // payload as the hub left it.
    LONG request(UINT code, LONG parameter, void* payload, DWORD length, DWORD replyCapacity = 0) const;
    LONG requestText(UINT code, LONG parameter, const std::string& text) const;
    // A command text with or without the now bit.
    void command(UINT code, int device, const std::string& text, bool now = true) const;
    // The same through the interface library.
    LONG requestZel(UINT code, LONG parameter, void* buffer, int size) const;

    // Registration records.
    void registerRange(int device, int start, int end, bool overwrite = true) const;
    void deregisterRange(int device, int start, int end) const;

    // What the hub delivered to this window, oldest first.
    std::vector<Delivered> deliveries(UINT code = 0) const;
    std::vector<std::string> texts(UINT code = 0) const;
    std::vector<PlainMessage> plain(UINT message) const;
    void clear();
    void dropLast();

    // Runs for every delivery, on the test thread, while the client's sender
    // in the hub waits for it.
    std::function<void(const Delivered&)> onDelivery;
    // Runs for every plain message, on the test thread, while its sender
    // waits for it (the hub's thread for the discovery answer 2032).
    std::function<void(const PlainMessage&)> onPlain;

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hub_;
    HWND window_ = nullptr;
    UINT unpackingCode_ = 0;
    bool unpackingZel_ = false;
    std::vector<Delivered> deliveries_;
    std::vector<PlainMessage> plain_;
};

// Pumps until the client holds n deliveries of the code (0: any).
bool waitForDeliveries(orq::OrqHub& hub, const FakeClient& client, UINT code, std::size_t n);

// Makes sure that everything the hub queued for the client so far has
// arrived: the hub sends in order, so once a marker queued now arrives, all
// earlier traffic has too. The marker is removed again.
bool drain(orq::OrqHub& hub, FakeClient& client);

}  // namespace orqtest
