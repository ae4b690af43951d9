// How an embedded or stand-alone hub behaves.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "federation/FederationOptions.h"
#include "orqWindowClass.h"

namespace orq {

// How the hub tells clients that a database name changed.
enum class DatabaseChangeForm {
    text,          // "DC device index database" under 2123
    shortNumeric,  // message 2174: wParam device, lParam index | database << 16
    wideNumeric,   // 49854 with a record of three 32-bit values: device, index, database
};

struct HubOptions {
    // Windows path of the directory holding orq.ini and the dev_NNN.ini files;
    // empty means the workstation's configuration directory.
    std::string configDirectory;
    // Class of the hub's window; halvik.dll finds the hub by orqWindowClass.
    std::string windowClass = orqWindowClass;

    // Answers to the limit queries; 0 means none and is answered as 0.
    LRESULT maxDevices = 0;        // 49245
    LRESULT maxIndexes = 0;        // 49233
    LRESULT maxSources = 0;        // 49234
    LRESULT maxDatabases = 0;      // 49243; the hub itself then keeps 10 databases
    LRESULT maxString = 0;         // 49246
    LRESULT maxDatabaseIndex = 0;  // 49235

    // Answer to the probe 49552 (wParam 0x5555).
    LRESULT probeAnswer = 0xAAAA;
    // Whether the hub answers each discovery request with 2032.
    bool answer2031 = true;
    bool answer49153 = true;

    // Commands without the now bit wait this long unless 49237 releases them
    // earlier; 0 acts on them at once.
    DWORD holdDelayMs = 50;
    // The client deadline: the longest wait for a client to take anything the
    // hub sends it (a delivery through either transport, or a reply). A
    // client that misses it is skipped until it next talks to the hub.
    DWORD clientTimeoutMs = 500;
    // Highest device number whose file is looked for at start; 0 takes
    // HighestDevice from section [Hub] of orq.ini, else 999.
    int highestDevice = 0;

    bool cacheOn = true;
    // Whether the hub records what it receives for tests (OrqHub::events()
    // and the like). The record grows with every message, so a hub that runs
    // for long (the orq-hub program) keeps none.
    bool record = true;
    DatabaseChangeForm databaseChange = DatabaseChangeForm::text;

    // Called on the hub's thread with the id of every plain message and the
    // code of every request as it arrives, before the hub acts on it; none by
    // default. orq-hub's --kill-on uses it to die at a precise point.
    std::function<void(UINT)> onReceive;

    // Receives one line per notable event (refused commands, unknown
    // requests, clients that stopped answering); none by default.
    std::function<void(const std::string&)> log;

    // The facility's other hubs, through a broker; none by default.
    FederationOptions federation;
};

}  // namespace orq
