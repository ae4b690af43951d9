// Turns the command texts that clients send to the hub into commands.
#pragma once

#include <optional>
#include <string>

namespace orq {

enum class Verb {
    crosspoint,     // RC device source dest 'mask' workstation
    infoWrite,      // IW device 'value' slot workstation
    gpiSwitch,      // GS device index state workstation
    lock,           // %cL device start end lock workstation
    poll,           // %cP device start end workstation
    query,          // %cQ device start end workstation
    file,           // %cF device
    deviceMessage,  // NS device target 'message' workstation window reference
    rename,         // RM device database index 'name' tallyDump workstation handle
};

struct Command {
    Verb verb = Verb::crosspoint;
    char kind = 0;  // R, I or G: the device kind the command is meant for
    int device = 0;
    int index = 0;  // destination, slot, GPI index, first index of a range, database index
    int end = 0;    // last index of a range
    int source = 0;
    bool flag = false;  // GPI state, lock on, tallyDump
    int workstation = 0;
    std::string text;  // mask, slot value, message, name
    int targetWorkstation = 0;
    unsigned long window = 0;  // NS sender's window, RM handle
    int reference = 0;
    int database = 0;
    std::string wire;  // the text it was parsed from

    // Commands that carry a now flag may be held until flushed.
    bool holdable() const {
        return verb == Verb::crosspoint || verb == Verb::infoWrite || verb == Verb::gpiSwitch || verb == Verb::lock ||
               verb == Verb::poll || verb == Verb::query;
    }
};

// Parses one command text; nothing for an unknown keyword.
std::optional<Command> parseCommand(const std::string& text);

}  // namespace orq
