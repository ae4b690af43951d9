// qxInfodriver: attaches a program (a driver) to one infodriver: writes and
// reads its slots, exchanges device messages, follows and sets its
// redundancy state and receives its requests to write slots. It owns a
// hidden message-only window and must be used on the thread that created it,
// which pumps its messages.
#pragma once

#include <windows.h>

#include <deque>
#include <string>

#include "IqxInfodriverCallback.h"
#include "qxCheck.h"
#include "qxTypes.h"

class decodeZORVString;

extern const char qxInfodriverSignature[];

namespace qx {

// How a driver takes part in redundancy: mode 1 takes tx when offered, mode 2
// stays rx.
enum redundancyMode : int { primary = 1, secondary = 2 };

}  // namespace qx

class qxInfodriver : public qxCheck {
public:
    qxInfodriver(IqxInfodriverCallback* callback, const std::string& name);
    ~qxInfodriver() override;
    qxInfodriver(const qxInfodriver&) = delete;
    qxInfodriver& operator=(const qxInfodriver&) = delete;

    // Connection. connect and disconnect return false on success.
    bool connect(int device, qx::ipcType ipc, int ipcOptions);
    bool disconnect();
    bool isConnected();
    void setCloseHostOnExit(bool close) { closeHostOnExit = close; }

    // Limits as the infodriver answers them now (defaults for an answer of 0).
    unsigned maxDatabases();
    unsigned maxDevices();
    unsigned maxIndexes();
    unsigned maxSources();
    unsigned maxString();

    bool counters(unsigned& tx, unsigned& rx);
    void resetCounters();

    // Redundancy.
    qx::redundancyState getState() const { return state; }
    void setRedundancyState(int newState, bool force);
    void setRedundancyMode(int newMode, bool apply, bool force);
    int getRedundancyMode() const { return mode; }

    // Slots. Each returns true when a check failed and nothing was sent.
    bool setSlot(int index, const std::string& text, bool now);
    bool setSlot(int index, int value, const std::string& format, bool now);
    bool setSlot(int index, double value, const std::string& format, bool now);
    bool sendSlotText(int index, const std::string& text);
    bool getSlot(int index, std::string& text);
    bool updateSlot(int index, const std::string& text, bool& changed);
    bool updateSlot(int index, int value);
    bool updateSlot(int index, double value, const std::string& format);
    bool sendSlotRange(int first, int last);

    bool sendDeviceMessage(int targetWorkstation, int device, const std::string& text, const std::string& second,
                           const std::string& third);
    LRESULT queryStatus();
    LRESULT notifyValue(int value);

    HWND getMessageWindow() const { return messageWindow; }
    HWND getInfodriverWindow() const { return infodriverWindow; }
    int getDevice() const { return device; }
    int getWorkstation() const { return workstation; }

private:
    static constexpr UINT drainMessage = 2334;  // posted by the window to itself
    static constexpr int slotWriteRecord = 37769;
    static constexpr int deviceMessageRecord = 37770;

    struct InboundRecord {
        int kind;
        int parameter;
        std::string text;
    };

    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    void createMessageWindow();
    void findWithTessil();
    void loadLimits();
    unsigned askInfodriver(UINT message, unsigned whenNone);
    void takeState(qx::redundancyState newState);

    LONG send(UINT code, LONG parameter, void* payload, DWORD length, DWORD replyCapacity, DWORD zelSize);
    bool sendSlot(UINT code, int index, LONG parameter, const std::string& text);
    template <typename Value>
    bool setFormattedSlot(int index, Value value, const std::string& format, bool now);
    bool formatInvalid(const std::string& format, bool integer);

    void queue(int kind, int parameter, const char* text);
    void drain();
    bool deliverDeviceMessage(const std::string& text);

    // Runs one callback operation; false when it destroyed this object, which
    // the caller must then no longer touch.
    template <typename Call>
    bool notify(Call&& call);

    IqxInfodriverCallback* callback;
    HWND infodriverWindow = nullptr;
    HWND messageWindow = nullptr;
    qx::ipcType ipc = qx::none;
    int ipcOptions = 0;
    int workstation;
    int device = 0;
    bool closeHostOnExit = false;
    unsigned txCount = 0;
    unsigned rxCount = 0;
    int lastTx = -1;
    int lastRx = -1;
    qx::redundancyState state = qx::unknown;
    int mode = qx::primary;
    std::deque<InboundRecord> inboundQueue;

    bool* alive = nullptr;  // set while a callback runs; cleared by the destructor
};
