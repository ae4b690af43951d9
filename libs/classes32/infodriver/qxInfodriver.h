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
#include "trafficCounters.h"

class decodeZORVString;

extern const char qxInfodriverSignature[];

namespace qx {

/// How a driver takes part in redundancy: mode 1 takes tx when offered, mode 2
/// stays rx.
enum redundancyMode : int { primary = 1, secondary = 2 };

}  // namespace qx

/// Attaches a program (a driver) to one infodriver: writes and reads its
/// slots, exchanges device messages, follows and sets its redundancy state
/// and receives its requests to write slots. Use it on the thread that
/// created it, which pumps its window messages. Operations check their
/// arguments first (qxCheck): a failed check writes one trace line and
/// nothing is sent.
class qxInfodriver : public qxCheck {
public:
    /// Creates the message window (a message box reports a failure). The
    /// callback may be null.
    qxInfodriver(IqxInfodriverCallback* callback, const std::string& name);
    /// Posts WM_CLOSE to the infodriver when setCloseHostOnExit(true) was
    /// called, disconnects (without a callback) and destroys the window.
    ~qxInfodriver() override;
    qxInfodriver(const qxInfodriver&) = delete;
    qxInfodriver& operator=(const qxInfodriver&) = delete;

    /// @name Connection
    /// @{

    /// Finds infodriver `device` (tessil32.dll, else a broadcast), announces
    /// this driver, loads the limits, calls `connected` and learns the
    /// redundancy state. Returns false on success, true when no infodriver
    /// answered.
    bool connect(int device, qx::ipcType ipc, int ipcOptions);
    /// Leaves the infodriver and calls `disconnected`; false when it was
    /// connected, true otherwise.
    bool disconnect();
    bool isConnected();  ///< True while the infodriver's window exists.
    /// Whether destroying the object also closes the infodriver (WM_CLOSE).
    void setCloseHostOnExit(bool close) { closeHostOnExit = close; }
    /// @}

    /// @name Limits as the infodriver answers them now
    /// The defaults stand where it answers 0.
    /// @{

    unsigned maxDatabases();  ///< Number of databases (default 10).
    unsigned maxDevices();    ///< Highest device number (default 2147483647).
    unsigned maxIndexes();    ///< Highest slot (default 2147483647).
    unsigned maxSources();    ///< Highest source (default 2147483647).
    unsigned maxString();     ///< Longest text (default 256).
    /// @}

    /// Slot writes and device messages sent, notifications delivered; true
    /// when either changed since the previous call.
    bool counters(unsigned& tx, unsigned& rx);
    void resetCounters();  ///< Both counters to 0.

    /// @name Redundancy
    /// @{

    qx::redundancyState getState() const { return state; }  ///< unknown, rx or tx.
    /// Asks the infodriver for tx (`newState` 2; `force` demands it) or rx
    /// (1), takes that state and calls `redundancyChange`; other values do
    /// nothing.
    void setRedundancyState(int newState, bool force);
    /// Stores the mode (qx::redundancyMode); with `apply`, mode 1 asks for tx
    /// and mode 2 for rx as setRedundancyState does.
    void setRedundancyMode(int newMode, bool apply, bool force);
    int getRedundancyMode() const { return mode; }  ///< See setRedundancyMode.
    /// @}

    /// @name Slots
    /// Each returns true when a check failed and nothing was sent.
    /// @{

    /// Writes the slot's text (`now`: at once, else the infodriver may hold it).
    bool setSlot(int index, const std::string& text, bool now);
    /// Writes a number formatted with a printf format of at most 16 bytes and
    /// one conversion of the number's kind (%d, %x, ...).
    bool setSlot(int index, int value, const std::string& format, bool now);
    /// Writes a floating-point number formatted likewise (%f, %.2f, ...).
    bool setSlot(int index, double value, const std::string& format, bool now);
    /// Writes the slot's text as setSlot does, never with the now bit (2731).
    bool sendSlotText(int index, const std::string& text);
    /// Reads the slot's text from the infodriver.
    bool getSlot(int index, std::string& text);
    /// Writes the text only when it differs from the slot's; `changed` says
    /// whether it did.
    bool updateSlot(int index, const std::string& text, bool& changed);
    /// Writes the number ("%d") only when the slot holds another one.
    bool updateSlot(int index, int value);
    /// Writes the formatted number only when the slot holds another text.
    /// The slot is read first; the format is checked by the write, so a slot
    /// that already holds the value is left alone whatever the format.
    bool updateSlot(int index, double value, const std::string& format);
    /// Asks the infodriver to report the slots first..last to the hub.
    bool sendSlotRange(int first, int last);
    /// @}

    /// Sends a device message to `targetWorkstation` (0: every workstation);
    /// true when a check failed. A message that does not fit 512 bytes is not
    /// sent and is traced.
    bool sendDeviceMessage(int targetWorkstation, int device, const std::string& text, const std::string& second,
                           const std::string& third);
    LRESULT queryStatus();           ///< The infodriver's status answer (49238).
    LRESULT notifyValue(int value);  ///< Tells the infodriver a value (49244); its answer.

    HWND getMessageWindow() const { return messageWindow; }        ///< This object's hidden window.
    HWND getInfodriverWindow() const { return infodriverWindow; }  ///< Null when not connected.
    int getDevice() const { return device; }                       ///< The infodriver's device number.
    int getWorkstation() const { return workstation; }             ///< This workstation's number.

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
    zorvwm32::TrafficCounters traffic;
    qx::redundancyState state = qx::unknown;
    int mode = qx::primary;
    std::deque<InboundRecord> inboundQueue;

    bool* alive = nullptr;  // set while a callback runs; cleared by the destructor
};
