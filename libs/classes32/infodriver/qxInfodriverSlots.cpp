// Slot writes and reads, and device messages: what a driver sends to its
// infodriver.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "qxConfig.h"
#include "qxInfodriver.h"
#include "slotFormat.h"
#include "zorvMessages.h"
#include "zorvText.h"
#include "zorvwm32.h"

namespace {

constexpr DWORD slotBlockSize = 300;
constexpr LONG nowBit = 0x8000;
constexpr int longestFormat = 16;

using namespace zorvmsg;

}  // namespace


LONG qxInfodriver::send(UINT code, LONG parameter, void* payload, DWORD length, DWORD replyCapacity,
                        DWORD zelSize) {
    switch (ipc) {
    case qx::wm:
        return copyDataSend(messageWindow, infodriverWindow, code, parameter, payload, length, replyCapacity,
                            zorvwm32::textKind);
    case qx::zel:
        return zel::send(infodriverWindow, code, parameter, payload, zorvwm32::textKind, static_cast<int>(zelSize));
    default: return 0;
    }
}

// The text and its terminator in a 300-byte block. A text that would not fit
// the block (a string limit raised beyond it) is refused, never cut.
bool qxInfodriver::sendSlot(UINT code, int index, LONG parameter, const std::string& text) {
    if (checkIndex(index) || checkString(text) || checkStringLength(text, slotBlockSize - 1)) return true;
    char block[slotBlockSize] = {};
    std::memcpy(block, text.data(), text.size());
    send(code, parameter, block, static_cast<DWORD>(text.size() + 1), 0, slotBlockSize);
    ++traffic.tx;
    return false;
}

bool qxInfodriver::setSlot(int index, const std::string& text, bool now) {
    return sendSlot(slotSet, index, now ? (index | nowBit) : index, text);
}

bool qxInfodriver::sendSlotText(int index, const std::string& text) { return sendSlot(slotText, index, index, text); }

// A caller's format reaches printf only when it is short and takes exactly
// the one value given.
bool qxInfodriver::formatInvalid(const std::string& format, bool integer) {
    if (checkStringLength(format, longestFormat)) return true;
    if (slotFormatFits(format, integer ? slotValueKind::integer : slotValueKind::floating)) return false;
    report("Format does not fit the value: " + format);
    return true;
}

template <typename Value>
static std::string formatValue(const std::string& format, Value value) {
    char text[512];
    const int length = std::snprintf(text, sizeof text, format.c_str(), value);
    // A width beyond what printf can count gives no text at all, and a text
    // cut at the buffer is longer than a slot holds: both come out too long
    // for the slot checks, which refuse them.
    if (length < 0) return std::string(sizeof text - 1, ' ');
    return std::string(text, length < static_cast<int>(sizeof text) ? static_cast<size_t>(length) : sizeof text - 1);
}

template <typename Value>
bool qxInfodriver::setFormattedSlot(int index, Value value, const std::string& format, bool now) {
    if (formatInvalid(format, std::is_integral_v<Value>)) return true;
    return setSlot(index, formatValue(format, value), now);
}

bool qxInfodriver::setSlot(int index, int value, const std::string& format, bool now) {
    return setFormattedSlot(index, value, format, now);
}

bool qxInfodriver::setSlot(int index, double value, const std::string& format, bool now) {
    return setFormattedSlot(index, value, format, now);
}

bool qxInfodriver::getSlot(int index, std::string& text) {
    if (checkIndex(index)) return true;
    char block[slotBlockSize + 1] = {};
    send(slotGet, index, block, slotBlockSize, slotBlockSize, slotBlockSize);
    text = block;  // up to its terminator; the extra byte ends a full block
    return false;
}

bool qxInfodriver::updateSlot(int index, const std::string& text, bool& changed) {
    if (checkIndex(index)) return true;
    std::string current;
    getSlot(index, current);
    changed = current != text;
    return changed ? setSlot(index, text, false) : false;
}

bool qxInfodriver::updateSlot(int index, int value) {
    if (checkIndex(index)) return true;
    std::string current;
    getSlot(index, current);
    if (std::atoi(current.c_str()) == value) return false;
    return setSlot(index, value, "%d", false);
}

// Reads the slot, compares, and only then writes: the format's checks belong
// to the write, so a slot that already holds the value is left as it is (and
// the result is false) also with a format the write would refuse. A format
// that does not take one double is never given to printf: it compares as a
// change, and the write refuses it. The new value is written with the
// caller's format, so that the slot holds the text it was compared in.
bool qxInfodriver::updateSlot(int index, double value, const std::string& format) {
    if (checkIndex(index)) return true;
    std::string current;
    getSlot(index, current);
    if (slotFormatFits(format, slotValueKind::floating) && formatValue(format, value) == current) return false;
    return setSlot(index, value, format, false);
}

bool qxInfodriver::sendSlotRange(int first, int last) {
    if (checkIndex(first) || checkIndex(last) || first > last) return true;
    SendMessageA(infodriverWindow, slotRange, static_cast<WPARAM>(first), static_cast<LPARAM>(last & 0xFFFF));
    return false;
}

// A message longer than the 512-byte block is not sent: one trace line, and
// the result reports the failure.
bool qxInfodriver::sendDeviceMessage(int targetWorkstation, int deviceNumber, const std::string& text,
                                     const std::string& second, const std::string& third) {
    if (checkWorkstation(targetWorkstation) || checkDevice(deviceNumber) || checkString(text)) return true;
    std::string message = formatText("NS %d %d '%s' %d %s %s", deviceNumber, qxConfig::workstation(), text.c_str(),
                                     targetWorkstation, second.c_str(), third.c_str());
    if (message.size() + 1 > zorvwm32::textBlockSize) {
        report(formatText("Device message too long (%u bytes): ", static_cast<unsigned>(message.size())) +
               message.substr(0, 64));
        return true;
    }
    // Through zel the buffer size is the message with its terminator, the
    // larger of payload and reply capacity (0) as for every send of the
    // interface library, not the slots' 300 bytes: a device message may fill
    // the whole 512-byte block, and 300 would cut it (or, for a short one,
    // ask the library to read past the text) for a reply nobody reads.
    const auto length = static_cast<DWORD>(message.size() + 1);
    const LONG reply = send(generalText, 0, message.data(), length, 0, length);
    ++traffic.tx;
    return (reply & 0xFF) != 0;
}
